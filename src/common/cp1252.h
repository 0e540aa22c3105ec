#pragma once
// Windows-1252, the character set of DBF text fields, RTF documents and the
// dictionaries. Converted at the boundary with our own table so the result
// does not depend on which codecs the Qt build carries.
#include <QByteArray>
#include <QString>

namespace orv {

QString fromCp1252(const QByteArray& bytes);
QString fromCp1252(const char* data, qsizetype size);
// Characters without a Windows-1252 code become '?'.
QByteArray toCp1252(const QString& text);
// The Unicode character of one byte.
char16_t cp1252ToUnicode(unsigned char byte);
// The byte of one character, or -1 when Windows-1252 has none.
int unicodeToCp1252(char16_t ch);
// The upper-case letter of a byte (a-z, the accented letters, š œ ž ÿ); other bytes unchanged.
unsigned char upperCp1252(unsigned char byte);

}  // namespace orv
