#pragma once

// Real-shaped bytes of the boxes a camera recording holds, built by hand.

#include "tests/support/BoxBuilder.h"

#include <cstdint>
#include <string_view>

namespace boxtest {

using namespace testsupport;

// The identity matrix: 16.16 ones, and 1.0 in 2.30 for w.
inline Bytes identityMatrix() {
    return concat({u32(0x00010000), u32(0), u32(0), u32(0), u32(0x00010000), u32(0), u32(0), u32(0),
                   u32(0x40000000)});
}

// 108 bytes; nextTrackID in the last 4.
inline Bytes mvhdV0Bytes(std::uint32_t nextTrackID = 3) {
    return fullBox("mvhd", 0, 0,
                   {u32(0xDA1B2C3D), u32(0xDA1B2C3E), u32(600), u32(36000), u32(0x00010000),
                    u16(0x0100), hex("01020304050607080900"), identityMatrix(), u32(11), u32(12),
                    u32(13), u32(14), u32(15), u32(16), u32(nextTrackID)});
}

// 120 bytes: 64-bit times and duration, 24 pre-defined bytes, nextTrackID last.
inline Bytes mvhdV1Bytes(std::uint32_t nextTrackID = 3) {
    return fullBox("mvhd", 1, 0,
                   {u64(0x00000001DA1B2C3D), u64(0x00000001DA1B2C3E), u32(90000),
                    u64(0x0000000123456789), u32(0x00010000), u16(0x0100), zeros(10),
                    identityMatrix(), hex("a1a2a3a4 b1b2b3b4 c1c2c3c4 d1d2d3d4 e1e2e3e4 f1f2f3f4"),
                    u32(nextTrackID)});
}

// 96 bytes.
inline Bytes tkhdV0Bytes(std::uint32_t trackID) {
    return fullBox("tkhd", 0, 3,
                   {u32(0xDA1B2C3D), u32(0xDA1B2C3E), u32(trackID), u32(0), u32(36000),
                    hex("0102030405060708"), u16(0), u16(1), u16(0x0100), u16(0), identityMatrix(),
                    u32(3840u << 16), u32(2160u << 16)});
}

// 108 bytes.
inline Bytes tkhdV1Bytes(std::uint32_t trackID) {
    return fullBox("tkhd", 1, 3,
                   {u64(0x00000001DA1B2C3D), u64(0x00000001DA1B2C3E), u32(trackID), u32(0),
                    u64(0x0000000123456789), zeros(8), u16(0), u16(0), u16(0), u16(0),
                    identityMatrix(), u32(0), u32(0)});
}

// 32 bytes.
inline Bytes mdhdV0Bytes(std::uint32_t timescale) {
    return fullBox(
        "mdhd", 0, 0,
        {u32(0xDA1B2C3D), u32(0xDA1B2C3E), u32(timescale), u32(30000), u16(0x55c4), u16(0)});
}

// 44 bytes.
inline Bytes mdhdV1Bytes(std::uint32_t timescale) {
    return fullBox("mdhd", 1, 0,
                   {u64(0x00000001DA1B2C3D), u64(0x00000001DA1B2C3E), u32(timescale),
                    u64(0x0000000123456789), u16(0x55c4), u16(0)});
}

inline Bytes hdlrBytes(std::string_view handler, const Bytes& name) {
    return fullBox("hdlr", 0, 0, {text("mhlr"), text(handler), zeros(12), name});
}

// A data reference list with one self-reference entry (flags 1, no location).
inline Bytes drefBytes() {
    return fullBox("dref", 0, 0, {u32(1), fullBox("url ", 0, 1)});
}

// The 88-byte Lumacode video sample entry.
inline Bytes lmcdBytes(std::uint16_t dataReferenceIndex) {
    Bytes compressorName = concat({u8(8), text("Lumacode"), zeros(23)});
    return box("LMCD",
               {hex("a0a1a2a3a4a5"), u16(dataReferenceIndex), u16(0), u16(0), text("lmcd"), u32(0),
                u32(0x00000200), u16(3840), u16(2160), u32(0x00480000), u32(0x00480000), u32(0),
                u16(1), compressorName, u16(24), u16(0xFFFF), u16(0x0102)});
}

// An ambisonic audio entry, which no class models: 4 channels of 32-bit
// samples at 48 kHz, with an extension box inside.
inline Bytes in32Bytes() {
    return box("in32", {zeros(6), u16(1), zeros(8), u16(4), u16(32), zeros(4), u32(48000u << 16),
                        box("chnl", {hex("00000000 02 0004")})});
}

inline Bytes sttsBytes(std::uint32_t count, std::uint32_t delta) {
    return fullBox("stts", 0, 0, {u32(1), u32(count), u32(delta)});
}

inline Bytes stscBytes() {
    return fullBox("stsc", 0, 0, {u32(1), u32(1), u32(1), u32(1)});
}

// Three listed sizes: 32 bytes.
inline Bytes stszListBytes() {
    return fullBox("stsz", 0, 0, {u32(0), u32(3), u32(1000), u32(2000), u32(3000)});
}

inline Bytes stcoBytes() {
    return fullBox("stco", 0, 0, {u32(2), u32(0x30), u32(0x4000)});
}

// A sample table whose one description is entry.
inline Bytes stblBytes(const Bytes& entry) {
    return box("stbl", {fullBox("stsd", 0, 0, {u32(1), entry}), sttsBytes(3, 1001), stscBytes(),
                        stszListBytes(), stcoBytes()});
}

inline Bytes trakBytes(std::uint32_t trackID, std::string_view handler, const Bytes& entry) {
    return box(
        "trak",
        {tkhdV0Bytes(trackID),
         box("edts", {fullBox("elst", 0, 0, {u32(1), u32(36000), u32(0), u16(1), u16(0)})}),
         box("mdia", {mdhdV0Bytes(30000), hdlrBytes(handler, concat({text("Handler"), u8(0)})),
                      box("minf", {box("dinf", {drefBytes()}), stblBytes(entry)})})});
}

// A camera-like recording: ftyp, mdat, then a moov with a Lumacode video
// track, an ambisonic audio track and the camera's user data.
inline Bytes cameraFileBytes() {
    return concat(
        {box("ftyp", {text("qt  "), u32(0x200), text("qt  ")}), box("mdat", {zeros(100)}),
         box("moov",
             {mvhdV0Bytes(), trakBytes(1, "vide", lmcdBytes(2)), trakBytes(2, "soun", in32Bytes()),
              box("udta", {box("TELM", {hex("0001 0203")}), box("UQID", {zeros(16)}),
                           box("BLDV", {text("1.0"), u8(0)})})})});
}

} // namespace boxtest
