#pragma once
// What each rich-text fuzz target defines; rtf_fuzz_main.cpp holds the entry
// points that call them.
class QByteArray;

namespace orv::fuzz {

// Runs before the application is made (environment the target needs).
void prepare();
// Runs one input: the warm-up document, then each input libFuzzer makes.
void exercise(const QByteArray& input);

}  // namespace orv::fuzz
