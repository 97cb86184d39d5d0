#pragma once

// The field classes the box catalogue is declared with, named here once so
// the catalogue reads as a list of fields.

#include "mediafmt/mp4/type/Bytes.h"
#include "mediafmt/mp4/type/FixedPoint.h"
#include "mediafmt/mp4/type/Lists.h"
#include "mediafmt/mp4/type/Scalars.h"
#include "mediafmt/mp4/type/Tables.h"

namespace mediafmt::mp4::box {

using type::Block;
using type::CompositionOffsetTable;
using type::EditListV0Table;
using type::EditListV1Table;
using type::Fixed16x16;
using type::Fixed8x8;
using type::FixedBlock;
using type::Fourcc;
using type::FourccArray;
using type::Matrix3x3;
using type::SampleToChunkTable;
using type::String;
using type::Timestamp32;
using type::Timestamp64;
using type::TimeToSampleTable;
using type::Uint16;
using type::Uint24;
using type::Uint32;
using type::Uint32Array;
using type::Uint64;
using type::Uint64Array;
using type::Uint8;

} // namespace mediafmt::mp4::box
