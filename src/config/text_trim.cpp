#include "config/text_trim.h"

namespace orv {

QString TrimLeading(const QString& s) {
    qsizetype i = 0;
    while (i < s.size() && s[i] == u' ') ++i;
    return s.mid(i);
}

QString TrimTrailing(const QString& s) {
    qsizetype n = s.size();
    while (n > 0 && s[n - 1] == u' ') --n;
    return s.left(n);
}

QString TrimBlanks(const QString& s) { return TrimLeading(TrimTrailing(s)); }

}  // namespace orv
