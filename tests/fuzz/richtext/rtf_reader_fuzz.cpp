// Any bytes as RTF: read, write, read again. Nothing may crash, hang or leak,
// and what we write must read back to the same text. The documents get no
// layout, as when text is pasted; laying out and painting is the page target's.
#include "richtext/rich_text_document.h"
#include "richtext/rtf_reader.h"
#include "richtext/rtf_writer.h"
#include "rtf_fuzz_target.h"

#include <QTextDocument>

#include <cstdlib>

void orv::fuzz::prepare() {}

void orv::fuzz::exercise(const QByteArray& input) {
    QTextDocument first;
    const RtfReadResult read = RtfReader::read(input, &first);
    const QStringList lines = RichTextDocument::linesOf(first);
    (void)RichTextDocument::fieldsOf(first);

    QTextDocument second;
    RtfReader::read(RtfWriter::write(&first, read.pageLayout), &second);
    if (RichTextDocument::linesOf(second) != lines) std::abort();  // our own RTF must keep the text
}
