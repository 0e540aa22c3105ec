#pragma once
// The main dictionary delivered with the program (built into it as a
// resource) and its copy in the program folder.
#include <QString>

namespace orv {

inline constexpr const char* kMainDictionaryFile = "orv.dct";
inline constexpr const char* kUserDictionaryFile = "orvu.dct";

// Copies the delivered orv.dct into folder (which ends in "/") when it is not
// there yet. False when it is missing and cannot be written; the spell checker
// then works with the user dictionary alone.
bool InstallMainDictionary(const QString& folder);

}  // namespace orv
