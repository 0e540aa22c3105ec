#pragma once
// Helpers of the shell around rich texts: the blank test that decides whether
// a cover sheet or document contributes pages, and the default font of new
// faxes and cover sheets (the Default Font settings).
#include <QTextCharFormat>

namespace orv {

class RichTextDocument;
struct Settings;

// True when the text is a single empty paragraph; false when it holds 256
// characters or more; otherwise true when each of its first 201 lines (or all
// of them, when fewer) is empty after TrimBlanks.
bool RichTextIsBlank(const RichTextDocument& text);

// Name, size, bold, italic and underline of the Default Font settings.
QTextCharFormat DefaultFontFormat(const Settings& settings);

// Makes the Default Font settings the text's default font and, while the
// text is empty, the format new text gets. TRichEditor has its own overload
// that also sets the insertion point.
void ApplyDefaultFont(RichTextDocument& text, const Settings& settings);

}  // namespace orv
