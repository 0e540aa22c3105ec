#pragma once
// The data engine: numbered work areas (each an open table, see WorkArea)
// with aliases, one of them current, the engine-wide settings, new-table
// definitions, and the progress hook of long operations. The program uses
// one engine (DataEngine::instance()); tests may make their own.
//
// Errors raise EDatabase / EInOutError (the record-access layer above turns
// them into false where its callers expect a boolean).
#include "store/work_area.h"

#include <QString>

#include <map>
#include <memory>
#include <vector>

namespace orv {

// Driver codes of the open and create calls; only "FOX" tables are kept.
enum : int { kDriverNtx = 1, kDriverFox = 2, kDriverNsx = 3 };

class DataEngine {
public:
    DataEngine() = default;
    DataEngine(const DataEngine&) = delete;
    DataEngine& operator=(const DataEngine&) = delete;
    static DataEngine& instance();

    // The engine's version text.
    static QString version() { return QStringLiteral("2.40.00"); }

    // Opens a table in a new work area and makes it current; returns the
    // area number (1, 2, ...). The alias must be unused.
    int use(const QString& path, const QString& alias, OpenMode mode = OpenMode::Exclusive, int driver = kDriverFox);
    // Makes an area current; returns the previous one. 0 selects nothing.
    int select(int area);
    int current() const { return current_; }
    // The area of an alias (case-insensitive); 0 when none.
    int workArea(const QString& alias) const;
    // An alias for a table file: its base name with "~", "-" and blanks among
    // its first 8 characters made "_"; when that is taken, the first 8
    // characters plus "_1", "_2", ...
    QString makeAlias(const QString& path) const;
    // The area's table, or nullptr.
    WorkArea* area(int number) const;
    // The current area's table; raises ecDbNoWorkArea when none.
    WorkArea& cur() const;
    // Closes the area (writing what is pending); closing the current one leaves none current.
    void close(int area);
    void closeAll();

    // ---- new tables ------------------------------------------------------------
    // Starts a definition; returns its pending area number (0 on failure).
    int createNew(const QString& path, const QString& alias, int driver, int fieldCount);
    void createField(const QByteArray& name, char type, int width, int decimals);
    // Writes the table defined in the current pending area and closes that
    // area; true on success.
    bool createExec();
    // The reason of the last failed createExec.
    const QString& lastError() const { return lastError_; }

    // ---- settings and hooks ---------------------------------------------------
    EngineSettings& settings() { return settings_; }
    // Progress (0..100) of pack and index builds; an empty function stops it.
    void setGaugeHook(std::function<void(int)> hook) { settings_.gauge = std::move(hook); }
    // The files the engine's tables live on (the real file system unless a
    // test or fuzz target gives one in memory); set before opening tables.
    void setFileSystem(FileSystem& fs) { fs_ = &fs; }
    FileSystem& fileSystem() const { return *fs_; }
    // Passes a numbered engine setting; returns the previous value (0 for unknown codes).
    int sysProp(int code, int value);

private:
    struct Pending {
        QString path;
        int fieldCount = 0;
        std::vector<DbfField> fields;
    };
    int freeSlot() const;

    std::map<int, std::unique_ptr<WorkArea>> areas_;
    std::map<int, Pending> pending_;
    int current_ = 0;
    EngineSettings settings_;
    std::map<int, int> sysProps_;
    QString lastError_;
    FileSystem* fs_ = &FileSystem::real();
};

}  // namespace orv
