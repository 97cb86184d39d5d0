#pragma once

namespace boxmend::repair {

// What a run is for.
enum class RunMode {
    // Works out every repair and writes nothing, not even to the journal.
    planOnly,
    // The program's run: a step runs only when the ones before it succeeded,
    // and the repairs are made as one transaction.
    apply,
};

} // namespace boxmend::repair
