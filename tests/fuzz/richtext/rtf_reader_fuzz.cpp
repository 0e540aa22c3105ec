// Any bytes as RTF: read, write, read again. Nothing may crash, hang or leak,
// and what we write must read back to the same text. The documents get no
// layout, as when text is pasted; laying out and painting is the page target's.
#include "richtext/rich_text_document.h"
#include "richtext/rtf_reader.h"
#include "richtext/rtf_writer.h"
#include "rtf_fuzz_app.h"

#include <QTextDocument>

#include <cstdint>
#include <cstdlib>

namespace {

void exercise(const QByteArray& input) {
    QTextDocument first;
    const orv::RtfReadResult read = orv::RtfReader::read(input, &first);
    const QStringList lines = orv::RichTextDocument::linesOf(first);
    (void)orv::RichTextDocument::fieldsOf(first);

    QTextDocument second;
    orv::RtfReader::read(orv::RtfWriter::write(&first, read.pageLayout), &second);
    if (orv::RichTextDocument::linesOf(second) != lines) std::abort();  // our own RTF must keep the text
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    orv::fuzz::startGuiApplication(argc, argv);
    exercise(orv::fuzz::warmUpDocument());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    exercise(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
