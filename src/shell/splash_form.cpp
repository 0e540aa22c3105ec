#include "shell/splash_form.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/widgets/picture_button.h"

namespace orv {

TSplashform::TSplashform(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("Splashform"));
    setWindowTitle(QStringLiteral("About Orvane"));

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setPixmap(PictureIcon(QStringLiteral("orvane")).pixmap(64, 64));
    auto* name = new QLabel(QStringLiteral("Orvane"), this);
    name->setObjectName(QStringLiteral("ProductName"));
    QFont big = name->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    name->setFont(big);
    auto* version = new QLabel(QStringLiteral("Version 2.2c"), this);
    version->setObjectName(QStringLiteral("Version"));
    auto* platform = new QLabel(this);
    platform->setObjectName(QStringLiteral("Platform"));
    platform->setText(QStringLiteral("32-bit version for Windows 95"));

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    OKButton->hide();
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* lines = new QVBoxLayout;
    lines->addWidget(name);
    lines->addWidget(version);
    lines->addWidget(platform);
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(lines, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ensurePolished();
    adjustSize();
}

void TSplashform::showOkButton() {
    OKButton->show();
    adjustSize();
}

}  // namespace orv
