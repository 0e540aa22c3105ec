#include "shell/rebuild_ind.h"

#include <QApplication>
#include <QLabel>

#include <algorithm>

#include "shell/window_messages.h"
#include "ui/widgets/gauge.h"

namespace orv {

TRebuildInd::TRebuildInd(const RebuildTables& tables, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), FTables(tables) {
    setObjectName(QStringLiteral("RebuildInd"));
    setWindowTitle(QStringLiteral("Rebuild Indexes"));
    setFixedSize(288, 141);

    Gauge1 = new TGauge(QStringLiteral("Gauge1"), this);
    Gauge1->setRange(0, 100);
    Gauge1->setProgress(0);
    Gauge1->setGeometry(24, 40, 240, 24);

    WhatAmIDoing = new QLabel(this);
    WhatAmIDoing->setObjectName(QStringLiteral("WhatAmIDoing"));
    WhatAmIDoing->setAlignment(Qt::AlignCenter);
    WhatAmIDoing->setWordWrap(true);
    WhatAmIDoing->setGeometry(8, 76, 272, 40);
    WhatAmIDoing->hide();
}

// The work starts once the window is on the screen.
void TRebuildInd::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (FStarted) return;
    FStarted = true;
    PostToWindow(this, [this] { FormActivate(); });
}

void TRebuildInd::FormActivate() {
    Gauge1->show();
    WhatAmIDoing->clear();
    WhatAmIDoing->show();
    RebuildCallbacks callbacks;
    callbacks.progress = [this](int percent) { EngineProgress(percent); };
    callbacks.step = [this](const QString& text) { ShowStep(text); };
    // Engine failures leave the table usable (a missing index file is built
    // again by the next open); the window closes all the same.
    FSucceeded = RebuildIndexes(FTables, callbacks);
    FDone = true;
    PostCloseWindow(this);
}

void TRebuildInd::EngineProgress(int percent) {
    Gauge1->setProgress(std::clamp(percent, Gauge1->minValue(), Gauge1->maxValue()));
    emit progressShown(Gauge1->progress());
    QApplication::processEvents();
}

void TRebuildInd::ShowStep(const QString& text) {
    WhatAmIDoing->setText(text);
    emit stepShown(text);
    QApplication::processEvents();
}

// Neither Escape nor the window's close box stop the pass; the window
// closes itself when the work is done.
void TRebuildInd::reject() {
    if (FDone) QDialog::reject();
}

}  // namespace orv
