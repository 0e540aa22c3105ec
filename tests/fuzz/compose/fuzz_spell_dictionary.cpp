// Fuzz target for the dictionary reader: the bytes become a dictionary file,
// opened as main and as user dictionary, and every operation runs over it.
// Nothing may crash, hang or read outside what the file holds.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

#include "compose/spell_engine.h"

namespace {

// The engine reads a dictionary by name, so each input is written to a file;
// in memory (/dev/shm) where there is such a folder, so no input waits for a
// disk (a truncated file is flushed when it is closed).
QString dictionaryPath() {
    static std::unique_ptr<QTemporaryDir> dir = QDir(QStringLiteral("/dev/shm")).exists()
                                                    ? std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/fuzz_spell_XXXXXX"))
                                                    : std::make_unique<QTemporaryDir>();
    static const QString path = dir->path() + "/fuzz.dct";
    return path;
}

// Plain system calls: a QFile per input cost more than the three calls.
void write(const uint8_t* data, size_t size) {
    static const QByteArray native = QFile::encodeName(dictionaryPath());
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) break;
        data += n;
        size -= size_t(n);
    }
    ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    write(data, size);
    const QString path = dictionaryPath();
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
