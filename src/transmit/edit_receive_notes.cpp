#include "transmit/edit_receive_notes.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "shell/status_line.h"
#include "ui/widgets/align_label.h"
#include "ui/widgets/button_panel.h"
#include "ui/widgets/picture_button.h"

namespace orv {

TEditReceiveNotes::TEditReceiveNotes(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("EditReceiveNotes"));
    setWindowTitle(QStringLiteral("Received Fax Notes"));
    // A dialog border without border icons: Accept or Cancel closes it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    ButtonPanel = new TButtonPanel(QStringLiteral("ButtonPanel"), this);
    OKButton = ButtonPanel->addButton("OKButton", "&Accept", "Accept changes made and exit", "accept");
    Cancelbutton = ButtonPanel->addButton("Cancelbutton", "Cance&l", "Cancel changes made and exit", "cancel");
    connect(OKButton, &QAbstractButton::clicked, this, &QDialog::accept);
    connect(Cancelbutton, &QAbstractButton::clicked, this, &QDialog::reject);
    column->addWidget(ButtonPanel);

    auto* body = new QWidget(this);
    auto* fields = new QVBoxLayout(body);
    fields->setContentsMargins(12, 10, 12, 10);
    fields->setSpacing(6);
    Descript = new QLabel(body);
    Descript->setObjectName(QStringLiteral("Descript"));
    Descript->setText(QStringLiteral("From: "));
    NotesLabel = new QLabel(QStringLiteral("Notes"), body);
    NotesLabel->setObjectName(QStringLiteral("Label1"));
    Notes = new QLineEdit(body);
    Notes->setObjectName(QStringLiteral("Notes"));
    Notes->setMaxLength(kNotesLength);
    NotesLabel->setBuddy(Notes);
    // Room for a full note in the window's font.
    Notes->setMinimumWidth(Notes->fontMetrics().horizontalAdvance(QString(kNotesLength, QLatin1Char('n'))) + 12);
    fields->addWidget(Descript);
    fields->addWidget(NotesLabel);
    fields->addWidget(Notes);
    column->addWidget(body);

    status = TAlignLabel::statusLine(this);
    column->addWidget(status);
    FStatusScope = new TStatusLineScope(this, status);

    setTabOrder(Notes, OKButton);
    setTabOrder(OKButton, Cancelbutton);
    Notes->setFocus();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

TEditReceiveNotes::~TEditReceiveNotes() {
    // The status line of the window below becomes current again.
    delete FStatusScope;
}

void TEditReceiveNotes::setSender(const QString& from) { Descript->setText(QStringLiteral("From: ") + from); }

QString TEditReceiveNotes::notes() const { return Notes->text(); }

void TEditReceiveNotes::setNotes(const QString& text) { Notes->setText(text); }

}  // namespace orv
