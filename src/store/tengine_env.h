#pragma once
// TEngineEnv: the program-wide settings object of the data engine. Each
// setter passes its value to the engine at once; Century and DateFormat also
// set the program's short date format (ShortDateFormat()). The program sets
// only Deleted (true): records marked deleted are hidden from navigation.
#include "store/data_engine.h"

#include <QObject>
#include <QString>

namespace orv {

enum class TDateFormat { American, ANSI, British, French, German, Italian, Spanish };

class TEngineEnv : public QObject {
    Q_OBJECT
public:
    explicit TEngineEnv(QObject* parent = nullptr, DataEngine* engine = nullptr);

    bool Exact() const { return settings().exact; }
    void setExact(bool on) { settings().exact = on; }
    bool Century() const { return settings().century; }
    void setCentury(bool on);
    TDateFormat DateFormat() const { return TDateFormat(settings().dateFormat); }
    void setDateFormat(TDateFormat format);
    int LockTimeout() const { return settings().lockTimeout; }
    void setLockTimeout(int seconds) { settings().lockTimeout = seconds; }
    int MemoBlockSize() const { return settings().memoBlockSize; }
    void setMemoBlockSize(int size) { settings().memoBlockSize = size; }
    bool SoftSeek() const { return settings().softSeek; }
    void setSoftSeek(bool on) { settings().softSeek = on; }
    bool Deleted() const { return settings().deleted; }
    void setDeleted(bool on) { settings().deleted = on; }

    // "mm/dd/yy", "yy.mm.dd", "dd/mm/yy", ... ("yyyy" with Century) for the
    // seven formats in order.
    static QString dateFormatPattern(TDateFormat format, bool century);

private:
    EngineSettings& settings() const { return engine_->settings(); }
    void applyShortDateFormat();
    DataEngine* engine_;
};

// The program's short date format as last set by TEngineEnv (Qt date
// pattern); empty until then, meaning the locale's short format.
QString ShortDateFormat();
void SetShortDateFormat(const QString& pattern);
// A date in the program's short date format.
QString FormatShortDate(const QDate& date);

}  // namespace orv
