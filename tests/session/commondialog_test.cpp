#include "commondialog.h"

#include "vantrelerror.h"

#include <QApplication>
#include <QFontDialog>
#include <QFontInfo>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Every dialog scripted: what it was asked and what it answers.
class ScriptedDialogs : public ICommonDialogBackend
{
public:
    int result = 0;
    int error = 0;
    bool throws = false;

    quint32 chosenColor = 0;
    QList<quint32> askedCustom;
    CommonDialog::Font chosenFont;
    CommonDialog::Font askedFont;
    CommonDialog::FileRequest askedFile;
    QString chosenFile;
    CommonDialog::PrintRequest askedPrint;
    CommonDialog::PrintRequest chosenPrint;
    QString askedHelp;
    int askedFlags = 0;

    int chooseColor(QWidget *, quint32 &color, const QList<quint32> &custom, int flags, int &e) override
    {
        askedCustom = custom;
        askedFlags = flags;
        return answer([&] { color = chosenColor; }, e);
    }
    int chooseFont(QWidget *, CommonDialog::Font &font, int flags, int &e) override
    {
        askedFont = font;
        askedFlags = flags;
        return answer([&] { font = chosenFont; }, e);
    }
    int chooseFile(CommonDialog::FileRequest &request, int &e) override
    {
        askedFile = request;
        return answer([&] { request.fileName = chosenFile; }, e);
    }
    int print(CommonDialog::PrintRequest &request, int &e) override
    {
        askedPrint = request;
        return answer([&] { request = chosenPrint; }, e);
    }
    int help(QWidget *, const QString &file, int) override
    {
        askedHelp = file;
        return result;
    }

private:
    int answer(const std::function<void()> &choose, int &e)
    {
        if (throws)
            throw VantrelError(VantrelError::Base + 1, QStringLiteral("dialog broke"));
        if (result == 1)
            choose();
        e = error;
        return result;
    }
};

class CommonDialogTest : public ::testing::Test
{
protected:
    void SetUp() override { CommonDialog::setBackend(dialogs); }
    void TearDown() override { CommonDialog::setBackend(nullptr); }

    std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();
};

// What a show operation raised: 0 for nothing.
quint32 raised(const std::function<void()> &show, QString *text = nullptr)
{
    try {
        show();
    } catch (const VantrelError &e) {
        if (text)
            *text = e.text();
        return e.number();
    }
    return 0;
}

TEST_F(CommonDialogTest, CancelFailureAndConfirmFollowOneRuleForEveryDialog)
{
    struct Operation
    {
        const char *name;
        void (CommonDialog::*show)();
        int action;            // -1: left as it was
        quint32 cancelNumber;
        const char *cancelText;
    };
    const Operation operations[] = {
        {"color", &CommonDialog::ShowColor, 3, 0x8004037Eu, "Cancel Pressed"},
        {"font", &CommonDialog::ShowFont, 4, 2001, ""},
        {"open", &CommonDialog::ShowOpen, -1, 2001, ""},
        {"save", &CommonDialog::ShowSave, -1, 2001, ""},
        {"printer", &CommonDialog::ShowPrinter, 5, 2001, ""},
    };
    for (const Operation &op : operations) {
        SCOPED_TRACE(op.name);
        CommonDialog dialog;
        dialog.FileName = "/before";
        dialog.Color = 0x123456;
        dialog.FontName = "Before";
        dialog.Copies = 7;
        auto show = [&] { (dialog.*op.show)(); };

        // Cancelled, CancelError off: silent.
        dialogs->result = 0;
        dialogs->error = 0;
        EXPECT_EQ(raised(show), 0u);
        EXPECT_EQ(dialog.APIReturn(), 0);
        EXPECT_EQ(dialog.Action(), op.action < 0 ? 0 : op.action);

        // Cancelled, CancelError on: the dialog's own number and text.
        dialog.CancelError = true;
        QString text = "unset";
        EXPECT_EQ(raised(show, &text), op.cancelNumber);
        EXPECT_EQ(text, op.cancelText);

        // Failed: ExtendedError, nothing raised, the values kept.
        dialogs->result = 2;
        dialogs->error = 0x3003;
        EXPECT_EQ(raised(show), 0u);
        EXPECT_EQ(dialog.APIReturn(), 2);
        EXPECT_EQ(dialog.ExtendedError(), 0x3003);
        EXPECT_EQ(dialog.FileName, "/before");
        EXPECT_EQ(dialog.Color, 0x123456u);
        EXPECT_EQ(dialog.FontName, "Before");
        EXPECT_EQ(dialog.Copies, 7);

        // A later run starts from 0 again.
        dialogs->result = 1;
        EXPECT_EQ(raised(show), 0u);
        EXPECT_EQ(dialog.APIReturn(), 1);
        EXPECT_EQ(dialog.ExtendedError(), 0);

        // A dialog that breaks ends the operation quietly, even with CancelError.
        dialogs->throws = true;
        EXPECT_EQ(raised(show), 0u);
        dialogs->throws = false;
    }
}

TEST_F(CommonDialogTest, FontAndColourRoundTrip)
{
    CommonDialog dialog;
    dialog.flags = 65;
    dialog.FontName = "Courier New";
    dialog.FontSize = 10;
    dialog.FontCharset = 204;
    dialogs->result = 1;
    dialogs->chosenFont = {"DejaVu Sans Mono", 12, 204, true, true, true, true};
    dialog.ShowFont();
    EXPECT_EQ(dialogs->askedFlags, 65);
    EXPECT_EQ(dialogs->askedFont.name, "Courier New");
    EXPECT_EQ(dialogs->askedFont.size, 10);
    EXPECT_EQ(dialogs->askedFont.charset, 204);
    EXPECT_EQ(dialog.FontName, "DejaVu Sans Mono");
    EXPECT_EQ(dialog.FontSize, 12);
    EXPECT_EQ(dialog.FontCharset, 204);
    EXPECT_TRUE(dialog.FontBold && dialog.FontItalic && dialog.FontUnderline && dialog.FontStrikethru);

    dialogs->chosenColor = 0x00FF8000;   // blue FF, green 80, red 00
    dialog.ShowColor();
    EXPECT_EQ(dialog.Color, 0x00FF8000u);
    EXPECT_EQ(dialogs->askedCustom, QList<quint32>(16, 0xFFFFFFu));
}

TEST_F(CommonDialogTest, FileDialogsTakeFiltersAndNamesAsGiven)
{
    EXPECT_EQ(CommonDialog::qtNameFilters("Routines (*.m)|*.m;*.int|All files|*.*"),
              QStringList({"Routines (*.m) (*.m *.int)", "All files (*.*)"}));
    EXPECT_EQ(CommonDialog::qtNameFilters(""), QStringList());
    EXPECT_EQ(CommonDialog::qtNameFilters("Odd"), QStringList({"Odd (*)"}));

    struct Case
    {
        int filterIndex;
        const char *selected;
    };
    const Case cases[] = {{1, "Text (*.txt)"}, {2, "All (*.*)"}, {0, "Text (*.txt)"}, {3, "Text (*.txt)"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.filterIndex);
        CommonDialog dialog;
        dialog.Filter = "Text|*.txt|All|*.*";
        dialog.FilterIndex = c.filterIndex;
        dialog.ShowSave();
        EXPECT_EQ(dialogs->askedFile.nameFilters, QStringList({"Text (*.txt)", "All (*.*)"}));
        EXPECT_EQ(dialogs->askedFile.selectedFilter, c.selected);
        EXPECT_TRUE(dialogs->askedFile.save);
    }

    // The names go in and come back unchanged, whatever MaxFileSize says.
    const QString longName = "/tmp/" + QString(300, 'n') + ".txt";
    CommonDialog dialog;
    dialog.MaxFileSize = 0;
    EXPECT_EQ(dialog.effectiveMaxFileSize(), 255);
    dialog.MaxFileSize = 10;
    dialog.FileName = "short name.txt";
    dialog.InitDir = "/srv";
    dialog.DialogTitle = "Pick";
    dialog.DefaultExt = "txt";
    dialogs->result = 1;
    dialogs->chosenFile = longName;
    dialog.ShowOpen();
    EXPECT_EQ(dialogs->askedFile.fileName, "short name.txt");
    EXPECT_EQ(dialogs->askedFile.initDir, "/srv");
    EXPECT_EQ(dialogs->askedFile.title, "Pick");
    EXPECT_EQ(dialogs->askedFile.defaultExt, "txt");
    EXPECT_FALSE(dialogs->askedFile.save);
    EXPECT_EQ(dialog.FileName, longName);
    EXPECT_EQ(dialog.FileTitle, QString(300, 'n') + ".txt");
    EXPECT_EQ(dialog.Action(), 0);
}

TEST_F(CommonDialogTest, PrintRoundTripsPagesLimitsAndCopies)
{
    CommonDialog dialog;
    dialog.FromPage = 2;
    dialog.ToPage = 5;
    dialog.Min = 1;
    dialog.Max = 70000;   // held at the 16-bit limit, not wrapped
    dialog.Copies = 3;
    dialogs->result = 1;
    dialogs->chosenPrint = {nullptr, 0, 3, 4, 1, 9, 2};
    dialog.ShowPrinter();
    EXPECT_EQ(dialogs->askedPrint.fromPage, 2);
    EXPECT_EQ(dialogs->askedPrint.toPage, 5);
    EXPECT_EQ(dialogs->askedPrint.min, 1);
    EXPECT_EQ(dialogs->askedPrint.max, 65535);
    EXPECT_EQ(dialogs->askedPrint.copies, 3);
    EXPECT_EQ(dialog.FromPage, 3);
    EXPECT_EQ(dialog.ToPage, 4);
    EXPECT_EQ(dialog.Min, 1);
    EXPECT_EQ(dialog.Max, 9);
    EXPECT_EQ(dialog.Copies, 2);
    EXPECT_EQ(dialog.Action(), 5);

    dialog.HelpFile = "/opt/v/Vantrel.chm";
    dialog.ShowHelp();
    EXPECT_EQ(dialogs->askedHelp, "/opt/v/Vantrel.chm");
    EXPECT_EQ(dialog.Action(), 6);
}

// The real dialog, as the Font menu item opens it: it must open on the family that draws
// the code, and OK without touching anything must hand back the font as it was asked for,
// whether the name is a family of this machine or only a substitute for one.
TEST(CommonDialogFont, OkWithoutChangeKeepsTheFontInUse)
{
    CommonDialog::setBackend(nullptr);
    for (const char *family : {"Courier New", "Liberation Mono", "DejaVu Sans Mono", "Monospace"}) {
        SCOPED_TRACE(family);
        CommonDialog dialog;
        dialog.flags = 65;
        dialog.FontName = QString::fromLatin1(family);
        dialog.FontSize = 10;
        QFont shown;
        bool answered = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *open = qobject_cast<QFontDialog *>(QApplication::activeModalWidget());
            if (!open || answered || !open->isActiveWindow())
                return;
            answered = true;
            shown = open->currentFont();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        poll.start(20);
        dialog.ShowFont();
        poll.stop();

        ASSERT_TRUE(answered);
        EXPECT_EQ(shown.family(), QFontInfo(QFont(QString::fromLatin1(family))).family());
        EXPECT_EQ(shown.pointSize(), 10);
        EXPECT_EQ(dialog.APIReturn(), 1);
        EXPECT_EQ(dialog.FontName, QString::fromLatin1(family));
        EXPECT_EQ(dialog.FontSize, 10);
        EXPECT_FALSE(dialog.FontBold || dialog.FontItalic || dialog.FontUnderline || dialog.FontStrikethru);
    }
}

} // namespace
