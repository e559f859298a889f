#include "station/window/qt/about_box.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace station {

AboutBox::AboutBox(const QString& versionText, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("バージョン情報 VorlickR6X"));
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    auto* name = new QLabel(QStringLiteral("VorlickR6X, Version"), this);
    name->setObjectName("aboutName");
    auto* version = new QLabel(versionText, this);
    version->setObjectName("aboutVersion");
    auto* rights1 = new QLabel(QStringLiteral("Copyright (C) 2026 The VorlickR6X developers"), this);
    rights1->setObjectName("aboutRights1");
    auto* rights2 = new QLabel(QStringLiteral("All rights reserved."), this);
    rights2->setObjectName("aboutRights2");
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName("aboutOk");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(name);
    nameRow->addWidget(version);
    nameRow->addStretch();
    grid->addLayout(nameRow, 0, 1);
    grid->addWidget(rights1, 1, 1);
    grid->addWidget(rights2, 2, 1);
    grid->addWidget(ok, 0, 2, Qt::AlignTop);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace station
