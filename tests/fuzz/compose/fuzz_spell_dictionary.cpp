// Fuzz target for the dictionary reader: the bytes become a dictionary file,
// opened as main and as user dictionary, and every operation runs over it.
// Nothing may crash, hang or read outside what the file holds.
#include "fuzz/fuzz_input_file.h"

#include "compose/spell_engine.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The engine reads a dictionary by name.
    static const QString path = orv::fuzz::inputFilePath(QStringLiteral("fuzz_spell"), QStringLiteral("fuzz.dct"));
    orv::fuzz::writeInputFile(path, data, size);
    {
        orv::TSpellEngine engine;
        engine.setDictionaryName(path);
        engine.openMainDictionary(path);
        for (const char* w : {"alpha", "beta", "AAAA", "cat's", "a-b'c", "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzz"})
            engine.checkWord(QString::fromLatin1(w));
        engine.suggestions(QStringLiteral("alpah"));
        engine.suggestions(QStringLiteral("Eeeeeeeee"));
    }
    {
        orv::TSpellEngine engine;
        engine.setDictionaryName(path + ".none");
        const int h = engine.openUserDictionary(path);
        engine.checkWord(QStringLiteral("alpha"));
        if (h >= 0 && size < 4096) {
            // Adding rewrites the file; only small inputs, to keep runs fast.
            engine.addWord(QStringLiteral("alphabet"), h);
            engine.checkWord(QStringLiteral("alphabet"));
        }
        engine.suggestions(QStringLiteral("alphx"));
    }
    return 0;
}
