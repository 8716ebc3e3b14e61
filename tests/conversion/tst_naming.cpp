#include "conversion/FileNaming.h"
#include "conversion/PageRange.h"

#include <QTest>

using namespace conversion;

class tst_naming : public QObject {
    Q_OBJECT

private slots:
    void stemIsBetweenLastSeparatorAndLastDot()
    {
        QCOMPARE(GetFilePrefix("/a/doc1.doc"), "doc1");
        QCOMPARE(GetFilePrefix("doc1.doc"), "doc1");
        QCOMPARE(GetFilePrefix("/docs/plan.final.doc"), "plan.final");
        QCOMPARE(GetFilePrefix("/a/.doc"), "");
        QCOMPARE(GetFilePrefix("/a b/报告 一.doc"), "报告 一");
    }

    void stemFailsWithoutADotInTheFileName()
    {
        QVERIFY_THROWS_EXCEPTION(NamingError, GetFilePrefix("/a.b/doc1"));
        QVERIFY_THROWS_EXCEPTION(NamingError, GetFilePrefix("/a/doc1"));
        try {
            GetFilePrefix("/a.b/doc1");
        } catch (const NamingError &e) {
            QVERIFY(QString(e.what()).contains("/a.b/doc1"));
        }
    }

    void suffixIsFromTheLastDotOn()
    {
        QCOMPARE(GetFileSuffix("/a/doc1.doc"), ".doc");
        QCOMPARE(GetFileSuffix("/a/doc1"), "/a/doc1");
        QCOMPARE(GetFileSuffix("/my.docs/readme"), ".docs/readme");
    }

    void pageNamesAreUnpadded()
    {
        QCOMPARE(pageFileName("/out/", "/docs/plan.final.doc", 7), "/out/plan.final-7.emf");
        QCOMPARE(pageFileName("/out/", "/d/r.doc", 1), "/out/r-1.emf");
        QCOMPARE(pageFileName("/out/", "/d/r.doc", 10), "/out/r-10.emf");
        QCOMPARE(pageFileName("/out/", "/d/.doc", 2), "/out/-2.emf");
    }

    void rangeBoundsAreSixteenBitAndOrdered()
    {
        QVERIFY(!readPageRange("", "3"));
        QVERIFY(!readPageRange("3", ""));
        QVERIFY(!readPageRange("5", "3"));
        QVERIFY(!readPageRange("1", "x"));
        QVERIFY(!readPageRange("1", "40000"));
        QVERIFY(!readPageRange("1.5", "3"));
        const auto equal = readPageRange("3", "3");
        QVERIFY(equal);
        QCOMPARE(equal->first, 3);
        QCOMPARE(equal->last, 3);
        const auto wide = readPageRange("0", "32767");
        QVERIFY(wide);
        QCOMPARE(wide->last, 32767);
    }

    void rangeKeysAreDigitsAndBackspace()
    {
        for (int c = '0'; c <= '9'; ++c)
            QVERIFY(isRangeKey(c));
        QVERIFY(isRangeKey(8));
        for (int c : {int('-'), int(' '), int('a'), 13, 22, 3, 24, int('/'), int(':')})
            QVERIFY2(!isRangeKey(c), qPrintable(QString::number(c)));
    }
};

QTEST_GUILESS_MAIN(tst_naming)
#include "tst_naming.moc"
