// pagegrab-batch [OPTIONS] [--] OUTPUT_FOLDER PATH...
//
// The window's batch run for scripts, servers and job runners: the same
// batch component, so the same files and log lines as the window's.
// Exit status: 0 every document converted, 1 at least one document failed
// (and was logged), 2 wrong usage, an output folder that cannot be created,
// a log file that is not a processing log, nothing to do, or --confined
// where the offices cannot be confined; 130 and 143 when SIGINT or SIGTERM
// (or SIGHUP, taken as SIGTERM) stopped it.

#include "cli/Columns.h"
#include "cli/Progress.h"
#include "cli/Request.h"
#include "log/DefaultLogPath.h"
#include "office/LibreOffice.h"
#include "platform/ChineseQtTexts.h"
#include "platform/NativePath.h"
#include "platform/Termination.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <atomic>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kConverted = 0;
constexpr int kFailed = 1;
constexpr int kCannotRun = 2;

void say(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("pagegrab-batch");
    platform::useChineseQtTexts();

    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString usage = "用法：pagegrab-batch [选项] [--] 图片保存目录 路径...";
    const QString description = "把Word文档的每一页转换为一个EMF图片文件（文档名-页码.emf），"
                                "处理出错的文档记录在日志文件中。\n"
                                "“--”之后的参数都是路径。\n"
                                "退出状态：0 全部转换；1 有文档出错并已记录；"
                                "2 用法错误、无法创建图片保存目录、日志文件不是处理日志、没有需要处理的文档，"
                                "或要求隔离而系统做不到；130、143 被SIGINT、SIGTERM中断。";
    const QCommandLineOption help({"h", "help"}, "显示本帮助。");
    const QCommandLineOption recursive({"r", "recursive"}, "同时添加子目录中的文档。");
    const QCommandLineOption from("from", "转换页码范围的第一页。", "N");
    const QCommandLineOption to("to", "转换页码范围的最后一页。", "M");
    const QCommandLineOption log("log", "处理日志文件（默认：" + defaultLogPath(programFolder) + "）。", "FILE");
    const QCommandLineOption jobs(
        "jobs", QStringLiteral("同时处理的文档数（默认：%1）。").arg(conversion::defaultDocumentsInFlight()), "N");
    const QCommandLineOption shard("shard", "只处理列表中第K、K+N、K+2N……个文档（从0数起），以便多台机器分担同一列表。",
                                   "K/N");
    const QCommandLineOption confined("confined", "只在文档完全隔离（不能读取其他文件、不能访问网络）时处理；"
                                                  "系统做不到时不处理，以状态2退出。");
    const QList<QCommandLineOption> offered{help, recursive, from, to, log, jobs, shard, confined};
    QCommandLineParser parser;
    parser.addOptions(offered);
    // The arguments as bytes: a name that is not UTF-8 (a shell's *.doc
    // over files from a Windows archive) must reach the run unchanged.
    if (!parser.parse(platform::nativeArguments(argc, argv, 0))) {
        say("pagegrab-batch：" + parser.errorText());
        return kCannotRun;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(cli::helpText(
                       usage, description, offered,
                       {{"图片保存目录", "图片保存目录。"}, {"路径", "文档，或其中的.doc文档要添加的目录。"}})),
                   stdout);
        return kConverted;
    }

    const QStringList positional = parser.positionalArguments();
    // Nothing named at all is someone who has yet to learn the command, not
    // a run with a problem.
    if (positional.isEmpty()) {
        say(usage + "\n运行“pagegrab-batch --help”查看全部选项和说明。");
        return kCannotRun;
    }
    cli::Options options;
    options.outputFolder = positional.value(0);
    options.paths = positional.mid(1);
    options.recursive = parser.isSet(recursive);
    options.from = parser.value(from);
    options.to = parser.value(to);
    options.logFile = parser.value(log);
    options.jobs = parser.value(jobs);
    options.shard = parser.value(shard);
    const cli::Request request = cli::readRequest(options, programFolder);
    if (!request.problem.isEmpty()) {
        say("pagegrab-batch：" + request.problem);
        return kCannotRun;
    }

    // Never silent: where the system refuses a layer of the confinement,
    // documents may read other files or reach the network.
    const QStringList unconfined = office::confinementShortfalls();
    for (const QString &reason : unconfined)
        say((parser.isSet(confined) ? "pagegrab-batch：文档无法隔离，不处理：" : "pagegrab-batch：警告：文档未被隔离：")
            + reason);
    if (parser.isSet(confined)) {
        if (!unconfined.isEmpty())
            return kCannotRun;
        office::requireConfinement();
    }

    cli::Progress progress(request.batch.documents, stderr, isatty(STDERR_FILENO));
    conversion::BatchRun run(
        request.batch, office::libreOffices(),
        {{},
         {},
         [&](int index, const auto &outcome, const auto &sofar) { progress.finished(index, outcome, sofar); },
         {}});
    // Stopped from outside, the documents in flight are ended and logged as
    // interrupted, and nothing partial is left.
    std::atomic<int> stoppedBy{0};
    const platform::StopOnTermination termination([&](int signal) {
        stoppedBy = signal;
        run.interrupt();
    });
    run.start();
    const conversion::RunSummary &summary = run.wait();
    progress.close();

    if (summary.wasInterrupted)
        say(QStringLiteral("处理被中断：%1个文档完成，%2个出错，%3个未处理；共%4页。")
                .arg(summary.converted())
                .arg(summary.failed)
                .arg(summary.notStarted())
                .arg(summary.pages));
    else
        say(QStringLiteral("转换完毕！%1个文档，%2页，%3个出错。")
                .arg(summary.finished)
                .arg(summary.pages)
                .arg(summary.failed));
    if (!summary.unlogged.isEmpty()) {
        say(conversion::unloggedFailuresNotice(summary, request.batch.logFile, int(summary.unlogged.size()))
                .replace("\r\n", "\n"));
    } else if (summary.failed > 0) {
        say("日志文件记录了处理过程中发生的异常：" + request.batch.logFile);
    }
    // As a shell reports a program its signal ended.
    if (summary.wasInterrupted)
        return 128 + stoppedBy;
    return summary.failed > 0 ? kFailed : kConverted;
}
