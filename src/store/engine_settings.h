#pragma once
// How a table is opened and the engine-wide settings its work area consults
// (owned by DataEngine, set through TEngineEnv).
#include <functional>

namespace orv {

enum class OpenMode { Shared = 0, ReadOnly = 1, Exclusive = 2 };

struct EngineSettings {
    bool deleted = false;   // hide records marked deleted
    bool exact = false;     // "=" compares whole strings
    bool softSeek = false;  // a failed seek stops at the next greater key
    bool century = false;
    int dateFormat = 0;
    int lockTimeout = 1;     // seconds to retry a record lock
    int memoBlockSize = 64;  // for new memo files
    // Progress of long operations (pack, index builds), 0..100; may be empty.
    std::function<void(int)> gauge;
};

}  // namespace orv
