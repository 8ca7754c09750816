#pragma once

// A dialog as a user reads it, at the desktop's font or a larger one:
//
//   expectTextsWhole(dialog);   // each label, button and box at least its needed size,
//                               // wrapped labels tall enough for their lines, none
//                               // overlapping another, all inside the dialog
//
// Call it on a shown dialog whose layout has run, or let
//
//   expectTextsWholeAtLargerFonts<frmConnect>();
//
// make and show the dialog at the desktop's font and at half as large again.

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

inline void expectTextsWhole(QDialog &dialog)
{
    QList<QWidget *> controls;
    for (QWidget *w : dialog.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (w->isVisible() && !w->isWindow())
            controls << w;
    }
    for (QWidget *w : controls) {
        const std::string name = w->objectName().toStdString();
        EXPECT_TRUE(dialog.rect().contains(w->geometry())) << name << " leaves the dialog";
        auto *label = qobject_cast<QLabel *>(w);
        if (label && label->wordWrap()) {
            EXPECT_GE(label->height(), label->heightForWidth(label->width())) << name << " is cut";
        } else if (label || qobject_cast<QAbstractButton *>(w) || qobject_cast<QLineEdit *>(w)) {
            const QSize needed = w->minimumSizeHint();
            EXPECT_GE(w->width(), needed.width()) << name << " is cut";
            EXPECT_GE(w->height(), needed.height()) << name << " is cut";
        }
    }
    for (int a = 0; a < controls.size(); ++a) {
        for (int b = a + 1; b < controls.size(); ++b) {
            EXPECT_FALSE(controls[a]->geometry().intersects(controls[b]->geometry()))
                << controls[a]->objectName().toStdString() << " overlaps " << controls[b]->objectName().toStdString();
        }
    }
}

template <class Dialog>
void expectTextsWholeAtLargerFonts()
{
    for (double scale : {1.0, 1.5}) {
        SCOPED_TRACE(scale);
        Dialog dialog;
        QFont font = dialog.font();
        font.setPointSizeF(font.pointSizeF() * scale);
        dialog.setFont(font);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        expectTextsWhole(dialog);
    }
}
