#include "store/tengine_env.h"

#include <QLocale>

namespace orv {
namespace {
QString& shortDateFormat() {
    static QString pattern;
    return pattern;
}
}  // namespace

QString ShortDateFormat() { return shortDateFormat(); }
void SetShortDateFormat(const QString& pattern) { shortDateFormat() = pattern; }

QString FormatShortDate(const QDate& date) {
    if (!date.isValid()) return {};
    const QString pattern = ShortDateFormat();
    if (pattern.isEmpty()) return QLocale::system().toString(date, QLocale::ShortFormat);
    return date.toString(pattern);
}

TEngineEnv::TEngineEnv(QObject* parent, DataEngine* engine)
    : QObject(parent), engine_(engine ? engine : &DataEngine::instance()) {}

QString TEngineEnv::dateFormatPattern(TDateFormat format, bool century) {
    static const char* const two[] = {"MM/dd/yy", "yy.MM.dd", "dd/MM/yy", "dd/MM/yy", "dd.MM.yy", "dd-MM-yy", "dd-MM-yy"};
    static const char* const four[] = {"MM/dd/yyyy", "yyyy.MM.dd", "dd/MM/yyyy", "dd/MM/yyyy", "dd.MM.yyyy", "dd-MM-yyyy", "dd-MM-yyyy"};
    const int i = std::clamp(int(format), 0, 6);
    return QString::fromLatin1(century ? four[i] : two[i]);
}

void TEngineEnv::setCentury(bool on) {
    settings().century = on;
    applyShortDateFormat();
}

void TEngineEnv::setDateFormat(TDateFormat format) {
    settings().dateFormat = int(format);
    applyShortDateFormat();
}

void TEngineEnv::applyShortDateFormat() {
    SetShortDateFormat(dateFormatPattern(DateFormat(), Century()));
}

}  // namespace orv
