#include "cli/Columns.h"
#include "cli/Progress.h"

#include <QTest>

class tst_columns : public QObject {
    Q_OBJECT

private slots:
    void chineseTakesTwoColumns()
    {
        QCOMPARE(cli::displayColumns("3/5 --:--"), 9);
        QCOMPARE(cli::displayColumns("（0数起）"), 9);
    }

    // Descriptions start in one column, however wide the names before them.
    void helpLinesUpByColumns()
    {
        const QString help = cli::helpText(
            "用法：程序 [选项]", "说明。",
            {QCommandLineOption({"h", "help"}, "显示本帮助。"), QCommandLineOption("from", "第一页。", "N")},
            {{"图片保存目录", "目录。"}, {"路径", "文档。"}});
        QCOMPARE(help, "用法：程序 [选项]\n说明。\n"
                       "\n选项：\n"
                       "  -h, --help    显示本帮助。\n"
                       "  --from <N>    第一页。\n"
                       "\n参数：\n"
                       "  图片保存目录  目录。\n"
                       "  路径          文档。\n");
    }

    void theBarStopsShortOfTheLastColumn_data()
    {
        QTest::addColumn<int>("columns");
        for (const int columns : {20, 40, 60, 72, 120})
            QTest::addRow("%d", columns) << columns;
    }
    void theBarStopsShortOfTheLastColumn()
    {
        QFETCH(int, columns);
        // The widest counts and times a long run shows.
        for (const auto &[done, documents, pages, seconds] :
             {std::tuple{0, 3, 0, 0}, {1, 3, 4, 9}, {999, 10000, 123456, 35999}, {10000, 10000, 999999, 359999}}) {
            const QString line = cli::barLine(done, documents, pages, seconds, columns);
            QVERIFY2(cli::displayColumns(line) <= columns - 1, qPrintable(line));
            const QString counts = QStringLiteral("%1/%2个文档 %3页").arg(done).arg(documents).arg(pages);
            if (cli::displayColumns(counts) < columns)
                QVERIFY2(line.contains(counts), qPrintable(line));
        }
    }

    // The bar shrinks first; then the time taken goes, then the time left,
    // then the bar itself.
    void narrowTerminalsShowLess()
    {
        const QString full = cli::barLine(1, 3, 7, 61, 120);
        QCOMPARE(full, "[##########--------------------] 1/3个文档 7页 已用1:01 剩余约2:02");
        QCOMPARE(cli::barLine(1, 3, 7, 61, 60), "[#######----------------] 1/3个文档 7页 已用1:01 剩余约2:02");
        QCOMPARE(cli::barLine(1, 3, 7, 61, 40), "[####--------] 1/3个文档 7页 剩余约2:02");
        QCOMPARE(cli::barLine(1, 3, 7, 61, 30), "[####---------] 1/3个文档 7页");
        QCOMPARE(cli::barLine(1, 3, 7, 61, 20), "1/3个文档 7页");
        QCOMPARE(cli::barLine(1, 3, 7, 61, 10), "");
        // At a width the full line just fits, nothing is left out.
        QCOMPARE(cli::barLine(1, 3, 7, 61, cli::displayColumns(full) + 1), full);
    }
};

QTEST_GUILESS_MAIN(tst_columns)
#include "tst_columns.moc"
