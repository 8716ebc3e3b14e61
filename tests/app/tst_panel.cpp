#include "gui/Twips.h"
#include "imageconv/Converter.h"
#include "support/AppTestMain.h"
#include "support/Processes.h"
#include "support/TestWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <csignal>

namespace {

int pixels(double twips)
{
    return twips::toPixels(twips);
}


QString contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// A stand-in converter: writes the arguments it got, one per line, beside
// itself, then waits to be ended.
void writeStandIn(const QString &folder)
{
    QFile script(folder + "/Convix.dll");
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args-$$.txt\"\nexec sleep 60\n");
    script.close();
    script.setPermissions(script.permissions() | QFile::ExeOwner);
}

// What the panel's page says, as text, once it says anything with `mark` in it.
bool panelSays(frmMain &w, const QString &mark, QString &text)
{
    w.WebBrowser1->page()->toPlainText([&text](const QString &t) { text = t; });
    return text.contains(mark);
}

} // namespace

class tst_panel : public QObject {
    Q_OBJECT

    OfficeScript office;

private slots:
    void hideAndShowUseTheirOwnWidths()
    {
        auto window = startedWindow(office);
        QVERIFY(window);
        frmMain &w = *window;
        const QUrl page = w.WebBrowser1->url();

        QCOMPARE(twips::width(w.Frame6), 2695.0);
        w.CmdHide_Click();
        QVERIFY(w.Frame6->isHidden());
        QVERIFY(!w.CmdHelp->isHidden());
        QCOMPARE(w.frameGeometry().width(), pixels(13065 - 2695 + 80));
        // Hidden, the panel keeps its width for showing it again.
        QCOMPARE(twips::width(w.Frame6), 2695.0);

        w.CmdHelp_Click();
        QVERIFY(!w.Frame6->isHidden());
        QCOMPARE(w.frameGeometry().width(), pixels(twips::fromPixels(pixels(10450)) + 2695 + 80));
        QVERIFY(!w.CmdHelp->isHidden());
        QCOMPARE(w.WebBrowser1->url(), page);

        // Help while the panel shows: nothing changes.
        const QRect before = w.frameGeometry();
        w.CmdHelp->click();
        QCOMPARE(w.frameGeometry(), before);
    }

    void rulesUseTheWidthsOfTheMoment()
    {
        auto window = startedWindow(office);
        QVERIFY(window);
        frmMain &w = *window;
        w.resize(w.width() + 100, w.height());
        QCoreApplication::processEvents();
        const double client = twips::fromPixels(w.width());
        const double panel = twips::width(w.Frame6);
        QCOMPARE(panel, client - 10370);
        w.CmdHide->click();
        QCOMPARE(w.frameGeometry().width(), pixels(client - panel + 80));
        const double hiddenOuter = twips::fromPixels(w.frameGeometry().width());
        w.CmdHelp->click();
        QCOMPARE(w.frameGeometry().width(), pixels(hiddenOuter + panel + 80));
        QCOMPARE(twips::width(w.Frame6), twips::fromPixels(w.width()) - 10370);
    }

    void offlinePageUnlessTheServerAnswers()
    {
        // The test's server address refuses at once: our own page appears,
        // while the panel still names the server's address, in the colours
        // of the desktop's theme (a dark one here).
        const QPalette light = QApplication::palette();
        QPalette dark = light;
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        dark.setColor(QPalette::Text, QColor(230, 230, 230));
        QApplication::setPalette(dark);
        auto offline = startedWindow(office);
        QVERIFY(offline);
        QString text;
        QTRY_VERIFY_WITH_TIMEOUT(panelSays(*offline, "批量转换为图片", text), 30000);
        QVERIFY2(text.contains("Pagegrab") && text.contains("版本 1.0") && text.contains(offline->txtLog->text()),
                 qPrintable(text));
        QCOMPARE(offline->WebBrowser1->url(), QUrl("http://127.0.0.1:9/soft/Pagegrab.aspx?VER=1.0"));
        QString colours;
        offline->WebBrowser1->page()->runJavaScript(
            "const s = getComputedStyle(document.body); s.backgroundColor + ' ' + s.color",
            [&colours](const QVariant &v) { colours = v.toString(); });
        QTRY_COMPARE(colours, "rgb(30, 30, 30) rgb(230, 230, 230)");
        QApplication::setPalette(light);
        offline.reset();

        // A server that answers has its page shown unchanged.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QStringList asked;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *client = server.nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, client, [&asked, client] {
                asked << QString::fromLatin1(client->readAll()).section(' ', 1, 1);
                client->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n\r\n"
                              "<html><body>From the information server</body></html>");
                client->disconnectFromHost();
            });
        });
        auto services = testServices(office);
        services.informationServer = QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
        frmMain online(services);
        QVERIFY(online.Form_Load());
        QTRY_VERIFY_WITH_TIMEOUT(panelSays(online, "From the information server", text), 30000);
        QVERIFY(!text.contains("批量转换为图片"));
        QVERIFY(asked.contains("/soft/Pagegrab.aspx?VER=1.0"));
    }

    void converterStartsWithTwoArgumentsAndOnlyTheLastIsEnded()
    {
        QTemporaryDir base;
        const QString folder = base.filePath("program folder with blanks");
        QVERIFY(QDir().mkpath(folder));
        writeStandIn(folder);

        auto w = startedWindow(office, folder);
        QVERIFY(w);
        w->txtOutDir->setText("/pics/with \"quotes\" and blanks/");
        w->Command3->click();
        const pid_t first = w->ConverterPid();
        w->Command3->click();
        const pid_t second = w->ConverterPid();
        QVERIFY(first > 0 && second > 0 && first != second);
        QVERIFY(gui::MessageBox::takeShown().isEmpty());

        QTRY_COMPARE(contents(folder + QStringLiteral("/args-%1.txt").arg(second)),
                     QString(imageconv::kToken) + "\n/pics/with \"quotes\" and blanks/\n");

        w->close();
        QTRY_VERIFY(!alive(second));
        QVERIFY(alive(first));
        ::kill(first, SIGKILL);
    }

    void missingConverterChangesNothing()
    {
        QTemporaryDir empty;
        frmMain w(testServices(office, empty.path()));
        QVERIFY(w.Form_Load());
        w.Command3->click();
        QCOMPARE(w.ConverterPid(), 0);
        QVERIFY(gui::MessageBox::takeShown().isEmpty());
        w.close();
    }
};

PAGEGRAB_GUI_TEST_MAIN(tst_panel)
#include "tst_panel.moc"
