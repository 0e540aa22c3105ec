#pragma once
// TRebuildInd: the "Rebuild Indexes" window. When it is shown it runs the
// whole maintenance pass over the four tables (throw each index file away,
// pack out the records marked deleted, build the tag anew), naming each
// step in WhatAmIDoing and following the engine's progress in Gauge1, then
// closes itself. The user cannot close it while it works.
#include <QDialog>

#include "store/rebuild.h"

class QLabel;

namespace orv {

class TGauge;

class TRebuildInd : public QDialog {
    Q_OBJECT
public:
    // The sent and received tables are the main window's open ones; the
    // phone-book and cover tables are opened for the pass and closed after.
    explicit TRebuildInd(const RebuildTables& tables, QWidget* parent = nullptr);

    // The pass ran (the window closes itself then).
    bool finished() const { return FDone; }
    // Every table was packed and indexed without an engine failure.
    bool succeeded() const { return FSucceeded; }

signals:
    // What the window showed, as it showed it.
    void stepShown(const QString& text);
    void progressShown(int percent);

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormActivate();
    // A progress report of the engine: the gauge follows, the window repaints.
    void EngineProgress(int percent);
    void ShowStep(const QString& text);

    TGauge* Gauge1 = nullptr;
    QLabel* WhatAmIDoing = nullptr;
    RebuildTables FTables;
    bool FStarted = false;
    bool FDone = false;
    bool FSucceeded = false;
};

}  // namespace orv
