#include <QtCore/QFile>
#include <QtCore/QRegularExpression>
#include <QtGui/QFont>
#include <QtGui/QFontDatabase>
#include <QtGui/QFontMetrics>
#include <QtGui/QGuiApplication>
#include <QtTest/QTest>

// Core's message boxes show Chinese source texts. Without a font that covers
// them every character is an empty box, so the machine must have one: a font
// for Simplified Chinese is found, and it holds every character of every
// Chinese source text of Core and dbupdate (read from their catalogs).
class tst_CjkFont : public QObject
{
    Q_OBJECT

private slots:
    void chineseTextsCanBeShown();
};

void tst_CjkFont::chineseTextsCanBeShown()
{
    const QStringList families = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    QVERIFY2(!families.isEmpty(), "no font for Simplified Chinese: install fonts-wqy-microhei or fonts-noto-cjk");

    QString characters;
    for (const char *catalog : {"core_en.ts", "dbupdate_en.ts"}) {
        QFile file(QStringLiteral(CATALOG_DIR "/") + QLatin1String(catalog));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        const QRegularExpression source(QStringLiteral("<source>([^<]*)</source>"));
        for (auto it = source.globalMatch(text); it.hasNext();) {
            for (const QChar c : it.next().captured(1)) {
                if (c.script() == QChar::Script_Han && !characters.contains(c))
                    characters += c;
            }
        }
    }
    QVERIFY(characters.size() > 20);

    // One of the Simplified Chinese families holds every character.
    QStringList missing;
    bool covered = false;
    for (const QString &family : families) {
        const QFontMetrics metrics{QFont(family)};
        QStringList lacking;
        for (const QChar c : std::as_const(characters)) {
            if (!metrics.inFont(c))
                lacking << QString(c);
        }
        if (lacking.isEmpty()) {
            covered = true;
            break;
        }
        missing << family + QStringLiteral(": ") + lacking.join(QString());
    }
    QVERIFY2(covered, qPrintable(missing.join(QLatin1Char('\n'))));
}

QTEST_MAIN(tst_CjkFont)
#include "tst_cjkfont.moc"
