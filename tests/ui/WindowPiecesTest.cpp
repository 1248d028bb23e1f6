// The window's smaller pieces: the about window, the icon, the grey toolbar images, the message
// boxes, the folder picker, the instance marker and the start without a display.

#include "common/BoxAnswers.h"
#include "common/TempTree.h"

#include "paint/Colors.h"
#include "shell/BrowseForFolder.h"
#include "ui/ApplicationIcon.h"
#include "ui/FormInfo.h"
#include "ui/GrayImageList.h"
#include "ui/InstanceMarker.h"
#include "ui/MessageDialogs.h"
#include "ui/SaveScanResult.h"

#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QStyle>

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <sys/file.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace quorvex {
namespace {

using testing::BoxAnswers;
using testing::TempTree;

TEST(FormInfo, ShowsMajorMinorAndReleaseOnlyWhenNotZero) {
    EXPECT_EQ(TFormInfo(nullptr, "2.1.0.55").VersionText(), "Version 2.1");
    EXPECT_EQ(TFormInfo(nullptr, "2.1.3.55").VersionText(), "Version 2.1.3");
    EXPECT_TRUE(TFormInfo(nullptr).VersionText().startsWith("Version ")) << "the compiled-in version";
    EXPECT_EQ(TFormInfo(nullptr).WebsiteText().toStdString(), "https://quorvex.example.org/")
        << "the address the exports name (the worked examples) and the package's home page";
}

TEST(BrowseForFolder, PreselectsTheStartAndReturnsTheChosenNamesBytes) {
    // The toolkit's dialog works in Unicode: a non-ASCII name comes back as the same UTF-8 bytes.
    const std::string bytes = "/tmp/caf\xc3\xa9 \xec\x9e\x90\xeb\xb0\xb1";
    QUrl asked;
    std::string path;
    EXPECT_TRUE(
        BrowseForFolder(nullptr, "Pick", "/srv/data", path, [&](QWidget*, const QString&, const QUrl& start) {
            asked = start;
            return QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(bytes)));
        }));
    EXPECT_EQ(asked, QUrl::fromLocalFile("/srv/data"));
    EXPECT_EQ(path, bytes);

    // A name that is not UTF-8 is preselected and handed back byte for byte.
    const std::string latin1 = "/tmp/caf\xe9";
    EXPECT_TRUE(
        BrowseForFolder(nullptr, "Pick", latin1, path, [&](QWidget*, const QString&, const QUrl& start) {
            asked = start;
            return start;
        }));
    EXPECT_EQ(asked.toEncoded(), "file:///tmp/caf%E9");
    EXPECT_EQ(path, latin1);
}

TEST(SaveScanResult, ProposedNamesHaveNoColonsBlanksOrSlashes) {
    EXPECT_EQ(ProposedExportName("System (C:)"), "System_(C)");
    EXPECT_EQ(ProposedExportName("/home/user/My Data"), "_home_user_My_Data");
}

TEST(InstanceMarker, HeldSharedWhileAliveSoAnExclusiveLockWaits) {
    TempTree folder;
    const std::string path = folder / "Quorvex.Mutex";
    const auto exclusiveLockTaken = [&] {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const bool taken = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return taken;
    };
    {
        TInstanceMarker first(folder.Path());
        TInstanceMarker second(folder.Path());
        EXPECT_TRUE(first.IsHeld() && second.IsHeld()) << "a second instance just goes on";
        EXPECT_FALSE(exclusiveLockTaken());
    }
    EXPECT_TRUE(exclusiveLockTaken()) << "released when the program ends";
}

TEST(QxApplication, AnErrorEscapingAnEventHandlerIsContainedAndTheLoopGoesOn) {
    struct Throwing : QObject {
        bool event(QEvent*) override { throw std::runtime_error("handler failed"); }
    } target;
    QEvent event(QEvent::User);
    EXPECT_NO_THROW(EXPECT_FALSE(QCoreApplication::sendEvent(&target, &event)));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    EXPECT_NO_THROW(QCoreApplication::sendPostedEvents(&target));
}

// The run command without a display must explain itself instead of failing inside the toolkit.
TEST(WindowStart, WithoutADisplayNamesTheHeadlessCommandAndXvfb) {
    const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '") +
                                QUORVEX_BINARY + "' /tmp 2>&1 </dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const int status = ::pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    for (const char* part : {"no graphical display", "quorvex --summary", "xvfb-run"})
        EXPECT_NE(output.find(part), std::string::npos) << output;
}

QImage Pixels(const QIcon& icon, int size) {
    return icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

// The test program's application object is the window process's own (TQxApplication).
TEST(ApplicationIcon, TheApplicationEveryWindowAndTheAboutWindowShowTheProgramsIcon) {
    EXPECT_EQ(QGuiApplication::desktopFileName(), "org.quorvex.Quorvex");
    const QIcon icon = QApplication::windowIcon();
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << "no render of " << size << " px";
        EXPECT_EQ(qAlpha(Pixels(icon, size).pixel(size / 2, size / 2)), 255) << "drawn, not empty: " << size;
    }
    const QImage expected = Pixels(ApplicationIcon(), 32);
    EXPECT_TRUE(Pixels(QMainWindow().windowIcon(), 32) == expected) << "a window without an icon of its own";
    const TFormInfo about(nullptr);
    ASSERT_FALSE(expected == Pixels(about.style()->standardIcon(QStyle::SP_ComputerIcon), 32));
    int pictures = 0;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        if (label->pixmap().isNull())
            continue;
        ++pictures;
        EXPECT_TRUE(label->pixmap().toImage().convertToFormat(QImage::Format_ARGB32) == expected);
    }
    EXPECT_GT(pictures, 0) << "the about window shows the program's icon, not a standard one";
}

QRgb Gray(int v) {
    return qRgb(v, v, v);
}

QImage Filled(QRgb colour) {
    QImage image(QSize(2, 2), QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

TEST(GrayPixel, MeanTimesPortionRoundedHalfToEvenClippedAtWhiteAndMappedByStyle) {
    const std::tuple<QRgb, int, TGrayImageStyle, QRgb, const char*> cases[] = {
        {qRgb(30, 60, 91), 120, gisGray, Gray(72), "the mean truncates, then the portion"},
        {qRgb(5, 5, 5), 110, gisGray, Gray(6), "5.5 -> 6"},
        {qRgb(15, 15, 15), 110, gisGray, Gray(16), "16.5 -> 16"},
        {qRgb(250, 250, 250), 120, gisGray, Gray(255), "300 is clipped at white"},
        {qRgb(0, 0, 1), 100, gisGray, Gray(0), "nearly black is not exempt"},
        {qRgba(200, 100, 0, 40), 100, gisGray, qRgba(100, 100, 100, 40), "alpha is the mask"},
        {qRgb(12, 12, 12), 100, gisBlue, qRgb(11, 11, 12), "10.9 -> 11"},
    };
    for (const auto& [in, portion, style, out, why] : cases)
        EXPECT_EQ(GrayPixel(in, portion, style), out) << why;

    // Button text not black, so that black staying black is seen; the other bands keep their colours.
    const QPalette saved = QApplication::palette();
    QPalette palette = saved;
    palette.setColor(QPalette::ButtonText, QColor(1, 2, 3));
    QApplication::setPalette(palette);
    EXPECT_EQ(GrayPixel(qRgb(0, 0, 0), 100, gisSystemDeactive), qRgb(0, 0, 0)) << "pure black stays black";
    EXPECT_EQ(GrayPixel(Gray(30), 100, gisSystemDeactive), qRgb(1, 2, 3));
    EXPECT_EQ(GrayPixel(Gray(31), 100, gisSystemDeactive), ResolveColor(clBtnShadow).rgb());
    QApplication::setPalette(saved);
}

TEST(GrayImageList, MirrorsItsLinkedListAndRebuildsOnEveryChange) {
    auto source = std::make_unique<TImageList>(QSize(2, 2));
    source->Add(Filled(qRgb(200, 100, 0)));
    TGrayImageList gray(QSize(2, 2));
    gray.SetLinkedImageList(source.get());
    gray.SetLinkedImageList(&gray);
    EXPECT_EQ(gray.LinkedImageList(), source.get()) << "a link to itself is ignored";
    EXPECT_EQ(gray.Icon(0).pixmap(QSize(2, 2), QIcon::Disabled).toImage().pixel(1, 1), Gray(100));
    source->Add(Filled(qRgb(250, 250, 250)));
    ASSERT_EQ(gray.Count(), 2) << "follows additions to the linked list";
    gray.SetGrayPortion(0);
    gray.SetGrayPortion(300);
    EXPECT_EQ(gray.GrayPortion(), 100) << "0 and 300 are ignored";
    gray.SetGrayPortion(120);
    EXPECT_EQ(gray.Image(1).pixel(0, 0), Gray(255)) << "120 % is clipped at white";
    source.reset();
    EXPECT_EQ(gray.LinkedImageList(), nullptr) << "a destroyed link becomes none";
}
TEST(MessageDialogs, QuestionsAskYesOrNoAndOnlyYesIsTrue) {
    using Question = std::tuple<bool (*)(const std::string&), const char*, QMessageBox::Icon>;
    for (const auto& [show, caption, icon] :
         {Question{&ShowConfirmationDialog, "Confirmation", QMessageBox::Question},
          Question{&ShowWarningDialog, "Warning", QMessageBox::Warning}}) {
        // Closing the box is not a Yes.
        for (const auto& [answer, expected] :
             {std::pair{QMessageBox::Yes, true}, {QMessageBox::No, false}, {QMessageBox::NoButton, false}}) {
            BoxAnswers box(answer, [&](const QMessageBox& shown) {
                EXPECT_EQ(shown.windowTitle(), QString::fromLatin1(caption));
                EXPECT_EQ(shown.text(), QStringLiteral("Delete 3 items?"));
                EXPECT_EQ(shown.icon(), icon);
                EXPECT_EQ(shown.standardButtons(), QMessageBox::Yes | QMessageBox::No);
                EXPECT_EQ(shown.parentWidget(), nullptr);
            });
            EXPECT_EQ(show("Delete 3 items?"), expected) << caption << " " << answer;
            EXPECT_EQ(box.texts.size(), 1u);
        }
    }
}

TEST(MessageDialogs, ErrorBoxesShowTextsAsPlainTextWithOneOkButton) {
    const ErrorDialogHandler previous = InstallErrorDialogBacking();
    // A file name that looks like markup must reach the user unchanged.
    const QString markup = QString::fromUtf8("Cannot open <b>x</b>&amp; \xC3\xA4");
    const BoxAnswers ok(QMessageBox::Ok, [](const QMessageBox& shown) {
        EXPECT_EQ(shown.windowTitle(), QStringLiteral("Error"));
        EXPECT_EQ(shown.textFormat(), Qt::PlainText);
        EXPECT_EQ(shown.icon(), QMessageBox::Critical);
        EXPECT_EQ(shown.standardButtons(), QMessageBox::Ok);
    });
    ShowErrorDialog(markup.toStdString());
    ShowExceptionDialog(std::runtime_error("disk full"));
    EXPECT_EQ(ok.texts, (std::vector<std::string>{markup.toStdString(), "disk full"}));
    SetErrorDialogHandler(previous);
}

} // namespace
} // namespace quorvex
