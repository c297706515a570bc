// The exchange formats' parsers and writers, on small sources written for the tests.
#include "aiken.h"
#include "bitmap.h"
#include "csvbank.h"
#include "error.h"
#include "gift.h"
#include "htmltext.h"
#include "moodlexml.h"
#include "pictures.h"
#include "pngpixels.h"
#include "textfile.h"

#include <QBuffer>
#include <QTest>

using namespace exchange;

namespace {

QImage drawing(QImage::Format format = QImage::Format_RGB32) {
    QImage image(23, 17, format);
    if (format == QImage::Format_Indexed8)
        for (int i = 0; i < 16; ++i)
            image.setColor(i, qRgb(i * 16, 255 - i * 8, (i * 40) % 256));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (format == QImage::Format_Indexed8)
                image.setPixel(x, y, uint((x + y * 3) % 16));
            else
                image.setPixel(x, y, qRgb(x * 11, y * 15, (x * y) % 256));
    return image;
}

QImage rgb(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

QByteArray saved(const QImage& image, const char* format) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return buffer.data();
}

// A PNG written by hand, 8 bits a channel (RGB, or RGBA with `alpha`), the rows filtered in
// turn by each of the five filters, the data in two IDAT chunks. `spoil` changes the byte at
// that distance from the end of the data (the zlib checksum), or the last IDAT's CRC when -1.
QByteArray pngOf(const QImage& image, bool alpha, int spoil = 0) {
    const auto crc = [](const QByteArray& bytes) {
        quint32 c = 0xffffffff;
        for (const char b : bytes) {
            c ^= uchar(b);
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xedb88320 ^ (c >> 1) : c >> 1;
        }
        return ~c;
    };
    const auto be32 = [](quint32 v) {
        return QByteArray(1, char(v >> 24)) + char(v >> 16) + char(v >> 8) + char(v);
    };
    QByteArray out("\x89PNG\r\n\x1a\n");
    const auto chunk = [&](const char* type, const QByteArray& data, bool badCrc = false) {
        const QByteArray body = type + data;
        out += be32(quint32(data.size())) + body + be32(crc(body) ^ (badCrc ? 1 : 0));
    };
    chunk("IHDR", be32(image.width()) + be32(image.height()) + char(8) + char(alpha ? 6 : 2) +
                      QByteArray(3, '\0'));
    const int n = alpha ? 4 : 3;
    QByteArray raw, prior(image.width() * n, '\0');
    for (int y = 0; y < image.height(); ++y) {
        QByteArray row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            row += QByteArray(1, char(qRed(c))) + char(qGreen(c)) + char(qBlue(c));
            if (alpha)
                row += char(qAlpha(c));
        }
        const int filter = y % 5;
        raw += char(filter);
        for (int i = 0; i < row.size(); ++i) {
            const int a = i >= n ? uchar(row[i - n]) : 0, b = uchar(prior[i]);
            const int c = i >= n ? uchar(prior[i - n]) : 0, p = a + b - c;
            const int paeth = qAbs(p - a) <= qAbs(p - b) && qAbs(p - a) <= qAbs(p - c) ? a
                              : qAbs(p - b) <= qAbs(p - c)                             ? b
                                                                                       : c;
            const int predicted[] = {0, a, b, (a + b) / 2, paeth};
            raw += char(uchar(row[i]) - predicted[filter]);
        }
        prior = row;
    }
    QByteArray zlib = qCompress(raw).mid(4);
    if (spoil > 0)
        zlib[zlib.size() - spoil] = char(zlib[zlib.size() - spoil] ^ 1);
    chunk("IDAT", zlib.left(zlib.size() - 2)); // the checksum split between the chunks
    chunk("IDAT", zlib.right(2), spoil < 0);
    chunk("IEND", {});
    return out;
}

// A GIF of a four-colour picture, written by hand (Qt reads GIF but does not write it): LZW
// codes of three bits, the table cleared every two pixels so that it never grows.
QByteArray gifOf(const QImage& image) {
    QByteArray out("GIF89a");
    const auto le16 = [&out](int v) { out.append(char(v & 0xff)).append(char(v >> 8)); };
    le16(image.width());
    le16(image.height());
    out.append("\x81\0\0", 3);
    for (int i = 0; i < 4; ++i)
        out.append(char(qRed(image.color(i))))
            .append(char(qGreen(image.color(i))))
            .append(char(qBlue(image.color(i))));
    out.append(',');
    le16(0);
    le16(0);
    le16(image.width());
    le16(image.height());
    out.append("\0\x02", 2);
    QVector<bool> bits;
    const auto code = [&bits](int c) {
        for (int b = 0; b < 3; ++b)
            bits << bool(c >> b & 1);
    };
    for (int i = 0; i < image.width() * image.height(); ++i) {
        if (i % 2 == 0)
            code(4); // clear
        code(image.pixelIndex(i % image.width(), i / image.width()));
    }
    code(5); // end
    QByteArray data((bits.size() + 7) / 8, '\0');
    for (int i = 0; i < bits.size(); ++i)
        data[i / 8] = char(data[i / 8] | (bits[i] << (i % 8)));
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        out.append(char(block.size())).append(block);
    }
    return out.append("\0;", 2);
}

// The refusals as "line: text" for comparing whole lists.
QStringList refusals(const Result& r) {
    QStringList out;
    for (const Message& m : r.refusals)
        out << QStringLiteral("%1: %2").arg(m.line).arg(m.text);
    return out;
}

QByteArray moodleQuestion(const QByteArray& inside, const QByteArray& type = "multichoice") {
    return "<question type=\"" + type + "\">\n" + inside + "\n</question>\n";
}

QByteArray fourAnswers(int right = 2) {
    QByteArray out;
    for (int k = 1; k <= 4; ++k)
        out += "<answer fraction=\"" + QByteArray(k == right ? "100" : "0") + "\"><text>Ответ " +
               QByteArray::number(k) + "</text></answer>\n";
    return out;
}

} // namespace

class TestExchangeFormats : public QObject {
    Q_OBJECT

private slots:
    void htmlBecomesPlainText_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        QTest::newRow("paragraphs") << "<p>Первый</p>\n<p>второй  абзац</p>"
                                    << "Первый\nвторой абзац";
        QTest::newRow("br and entities") << "a<br/>b &lt;c&gt; &amp;&nbsp;&#1046;&#x416;&laquo;"
                                         << QString::fromUtf8("a\nb <c> &\u00a0ЖЖ«");
        QTest::newRow("tags and script dropped")
            << "<div><b>Жирный</b> <img src=\"x.png\"><script>x<1</script>текст</div>"
            << "Жирный текст";
        QTest::newRow("broken markup is text") << "a < b & c <"
                                               << "a < b & c <";
        QTest::newRow("comment") << "x<!-- <p>y</p> -->z"
                                 << "xz";
        QTest::newRow("references are text, never markup")
            << "&lt;b&gt;жирный&lt;/b&gt; 1 &lt; 2 &amp;&amp; 3"
            << "<b>жирный</b> 1 < 2 && 3";
        QTest::newRow("< before a non-Latin letter is text") << "Ницца <юг> <1>"
                                                             << "Ницца <юг> <1>";
        QTest::newRow("editor's breaks and spaces at the ends")
            << "&nbsp; <p><br>Париж&nbsp;<br></p>\u00a0<p>\n</p>"
            << "Париж";
        QTest::newRow("numeric references at the ends are kept") << "&#32;x&#10;"
                                                                 << " x\n";
        QTest::newRow("unended markup is text") << "a<b c <a href='x <?php"
                                                << "a<b c <a href='x <?php";
        QTest::newRow("a tag after an unended one") << "<a x='<b>y"
                                                    << "<a x='y";
        QTest::newRow("quotes only around values") << "<a \"x>y<a t='>'>z"
                                                   << "yz";
        QTest::newRow("declarations") << "a</>b<?x?>c<!DOCTYPE html>d</ e>f<!-->g"
                                      << "abcdfg";
        QTest::newRow("media fallback is not shown")
            << "<audio controls><source src=\"a.mp3\">a.mp3</audio>Текст"
            << "Текст";
        QTest::newRow("references out of range") << "&#1114112;&#xD800;&#0;&#;&#x;&nosuch;"
                                                 << "\ufffd\ufffd\ufffd&#;&#x;&nosuch;";
        QTest::newRow("many unended tags")
            << QString("<a").repeated(3000) + QString("<a href='").repeated(300)
            << QString("<a").repeated(3000) + QString("<a href='").repeated(300);
    }
    void htmlBecomesPlainText() {
        QFETCH(QString, html);
        QFETCH(QString, text);
        QCOMPARE(htmlToText(html), text);
    }

    void htmlExtrasAreCollected() {
        HtmlExtras extras;
        QCOMPARE(htmlToText(u"<p><img src=\"@@PLUGINFILE@@/a.png\" alt=x> <a class=q "
                            u"href='http://x/?a=1&b=2'>ссылка</a> <a name=top>.</a><video "
                            u"src=v.mp4></video><audio><source src=\"s.mp3\"></audio>"
                            u"<object data=o.swf>x</object></p>",
                            false, &extras),
                 QStringLiteral("ссылка ."));
        QCOMPARE(extras.pictures, QStringList{"@@PLUGINFILE@@/a.png"});
        QCOMPARE(extras.links, QStringList{"http://x/?a=1&b=2"});
        QCOMPARE(extras.media, (QStringList{"v.mp4", "s.mp3", "o.swf"}));
    }

    void anyTextSurvivesHtml_data() {
        QTest::addColumn<QString>("text");
        int row = 0;
        for (const char* t : {"", " ", "  два  пробела ", "\nстрока\n\n", "a\r\nb\tc", "<&>\"'",
                              "x \n y", "&amp; &#32;", "\u00a0Париж\u00a0", "\n", "\u3000a\u2003"})
            QTest::addRow("%d", row++) << QString::fromUtf8(t);
    }
    void anyTextSurvivesHtml() {
        QFETCH(QString, text);
        QCOMPARE(htmlToText(textToHtml(text)), text);
    }

    void moodleTakesTextsPictureAndName() {
        const QByteArray png = saved(drawing(), "png").toBase64();
        const QByteArray xml =
            "<?xml version=\"1.0\"?>\n<quiz>\n"
            "<question type=\"category\"><category><text>$course$/Физика</text></category>"
            "</question>\n" +
            moodleQuestion("<name><text>42</text></name>\n"
                           "<questiontext format=\"html\"><text><![CDATA[<p>Что на "
                           "<b>рисунке</b>?</p><p>Вторая строка</p>]]></text>\n"
                           "<file name=\"a.png\" path=\"/\" encoding=\"base64\">" +
                           png + "</file></questiontext>\n<single>true</single>\n" +
                           fourAnswers(3)) +
            moodleQuestion("<name><text>Без номера</text></name><questiontext><text>Второй"
                           "</text></questiontext>" +
                           fourAnswers(1)) +
            "</quiz>\n";
        Result r;
        moodlexml::read(xml, r);
        QCOMPARE(refusals(r), QStringList());
        QCOMPARE(r.questions.size(), 2);
        const Question& q = r.questions[0];
        QCOMPARE(q.line, 4);
        QCOMPARE(q.name.toLongLong(), 42);
        QCOMPARE(q.vopros, QStringLiteral("Что на рисунке?\nВторая строка"));
        QCOMPARE(q.otvet[2], QStringLiteral("Ответ 3"));
        QCOMPARE(q.prOtvet.toInt(), 3);
        QCOMPARE(rgb(decodeGraph(q.graph)), drawing());
        QCOMPARE(r.questions[1].name.toLongLong(), 2); // not a number: its position
    }

    void moodleRefusesWithLineNumbers() {
        const QByteArray xml =
            "<quiz>\n" +
            moodleQuestion("<questiontext><text>a</text></questiontext>",
                           "truefalse") +                                        // line 2
            moodleQuestion("<single>false</single>" + fourAnswers()) +           // line 5
            moodleQuestion("<answer fraction=\"100\"><text>x</text></answer>") + // 11
            moodleQuestion(fourAnswers(0)) +                                     // 15
            moodleQuestion(fourAnswers().replace("\"0\"", "\"50\"")) +           // 22
            moodleQuestion("<questiontext><text>p</text><file encoding=\"base64\">" +
                           QByteArray("not a png").toBase64() + "</file></questiontext>" +
                           fourAnswers()) + // 29: taken, the attachment noted
            moodleQuestion("<questiontext><text>p</text><file encoding=\"base64\">" +
                           QByteArray("\x89PNG\r\n\x1a\nbroken").toBase64() +
                           "</file></questiontext>" + fourAnswers()) + // 36
            "</quiz>";
        Result r;
        moodlexml::read(xml, r);
        QCOMPARE(r.taken, 1);
        const QStringList got = refusals(r);
        QCOMPARE(got.size(), 6);
        QCOMPARE(got[0], QStringLiteral("2: тип вопроса «верно/неверно» не поддерживается"));
        QVERIFY(got[1].startsWith("5: вопрос с несколькими правильными ответами"));
        QCOMPARE(got[2], QStringLiteral("12: вариантов ответа 1, а нужно ровно четыре"));
        QVERIFY(got[3].startsWith("15: правильных ответов"));
        QVERIFY(got[4].startsWith("22: частично верные"));
        QVERIFY(got[5].startsWith("36: рисунок PNG не читается"));
        QVERIFY(!r.broken);
        QCOMPARE(r.notes.size(), 1);
        QCOMPARE(r.notes[0].line, 29);
        QCOMPARE(r.notes[0].text, QStringLiteral("вложение «» не перенесено: это не рисунок"));
    }

    // Pictures are decoded ahead of the reader, many at a time: each question must still get
    // its own picture, and refusals come in the order of the source, up to where it breaks.
    void moodleManyPicturesKeepTheirQuestions() {
        const int count = 150;
        QByteArray xml = "<quiz>\n";
        for (int i = 0; i < count; ++i) {
            QImage image(3 + i % 5, 2, QImage::Format_RGB32);
            image.fill(qRgb(i, 255 - i, i % 7 * 30));
            const QByteArray file = i % 7 == 3 ? QByteArray("\x89PNG\r\n\x1a\nbroken")
                                               : saved(image, i % 2 ? "png" : "bmp");
            xml += moodleQuestion("<name><text>" + QByteArray::number(i + 1) +
                                  "</text></name><questiontext><text>q" + QByteArray::number(i) +
                                  "</text><file encoding=\"base64\">" + file.toBase64() +
                                  "</file></questiontext>" + fourAnswers());
        }
        Result r;
        moodlexml::read(xml + "<question type=\"multichoice\">\n<oops></quiz>", r);
        QVERIFY(r.broken);
        QCOMPARE(r.refusals.size(), count / 7 + 1); // broken pictures, then the break itself
        for (qsizetype i = 0; i + 1 < r.refusals.size(); ++i)
            QVERIFY(r.refusals[i].text.startsWith(QStringLiteral("рисунок PNG не читается")));
        int last = 0;
        for (const Message& m : r.refusals) {
            QVERIFY2(m.line > last, qPrintable(refusals(r).join('\n')));
            last = m.line;
        }
        QCOMPARE(r.questions.size(), count - count / 7);
        int expected = 0;
        for (const Question& q : r.questions) {
            if (expected % 7 == 3)
                ++expected;
            QCOMPARE(q.vopros, QStringLiteral("q%1").arg(expected));
            const QImage back = decodeGraph(q.graph);
            QCOMPARE(back.width(), 3 + expected % 5);
            QCOMPARE(back.pixel(0, 1), qRgb(expected, 255 - expected, expected % 7 * 30));
            ++expected;
        }
    }

    void moodleBrokenXmlStopsWhereItBreaks() {
        Result r;
        moodlexml::read("<quiz>\n" + moodleQuestion(fourAnswers()) + "<question>\n<oops></quiz>",
                        r);
        QVERIFY(r.broken);
        QCOMPARE(r.taken, 1);
        QCOMPARE(r.refusals.last().line, 10);
        Result notQuiz;
        moodlexml::read("<html/>", notQuiz);
        QVERIFY(notQuiz.broken);
    }

    void giftMultipleChoice() {
        const QByteArray gift = "// комментарий\n$CATEGORY: $course$/Физика\n\n"
                                "::7::[html]<p>Скорость\\: света</p> {\n"
                                "  =300 000 км/с # верно\n  ~150 000 км/с\n"
                                "  ~%-50%1 км/с\n  ~\\{бесконечна\\}\n}\n\n"
                                "::Строки::Первая\\nвторая\nтретья {~a =b ~c ~d}\n\n"
                                "Слово {~x =y ~z ~w} в середине\n";
        Result r;
        gift::read(gift, r);
        QCOMPARE(refusals(r), QStringList());
        QCOMPARE(r.questions.size(), 3);
        QCOMPARE(r.questions[0].line, 4);
        QCOMPARE(r.questions[0].name.toInt(), 7);
        QCOMPARE(r.questions[0].vopros, QStringLiteral("Скорость: света"));
        QCOMPARE(r.questions[0].otvet[0], QStringLiteral("300 000 км/с"));
        QCOMPARE(r.questions[0].otvet[3], QStringLiteral("{бесконечна}"));
        QCOMPARE(r.questions[0].prOtvet.toInt(), 1);
        QCOMPARE(r.questions[1].vopros, QStringLiteral("Первая\nвторая\nтретья"));
        QCOMPARE(r.questions[1].prOtvet.toInt(), 2);
        QCOMPARE(r.questions[2].vopros, QStringLiteral("Слово _____ в середине"));
    }

    void giftRefusesOtherKinds() {
        const QByteArray gift = "Верно? {T}\n\n"                   // 1
                                "Эссе {}\n\n"                      // 3
                                "Число {#3:1}\n\n"                 // 5
                                "Кратко {=да =конечно}\n\n"        // 7
                                "Три {=a ~b ~c}\n\n"               // 9
                                "Два верных {=a =b ~c ~d}\n\n"     // 11
                                "Пары {=a -> 1 =b -> 2 ~c ~d}\n\n" // 13
                                "Нет скобки {=a ~b ~c ~d\n\n"      // 15
                                "Просто текст\n";                  // 17
        Result r;
        gift::read(gift, r);
        QCOMPARE(r.taken, 0);
        QVector<int> lines;
        for (const Message& m : r.refusals)
            lines << m.line;
        QCOMPARE(lines, (QVector<int>{1, 3, 5, 7, 9, 11, 13, 15, 17}));
        QVERIFY(r.refusals[4].text.contains("вариантов ответа 3"));
        QVERIFY(r.refusals[5].text.contains("правильных ответов 2"));
    }

    void aikenBothAlphabets() {
        const QByteArray aiken = "Какая планета\nсамая большая?\nA) Земля\nB) Юпитер\n"
                                 "C) Марс\nD. Венера\nANSWER: B\n\n"
                                 "Сколько будет 2+2?\nА. три\nБ) четыре\nВ) пять\nГ) шесть\n"
                                 "ОТВЕТ: В\n";
        Result r;
        aiken::read(aiken, r);
        QCOMPARE(refusals(r), QStringList());
        QCOMPARE(r.questions.size(), 2);
        QCOMPARE(r.questions[0].vopros, QStringLiteral("Какая планета\nсамая большая?"));
        QCOMPARE(r.questions[0].otvet[3], QStringLiteral("Венера"));
        QCOMPARE(r.questions[0].prOtvet.toInt(), 2);
        QCOMPARE(r.questions[1].line, 9);
        QCOMPARE(r.questions[1].prOtvet.toInt(), 3); // Cyrillic В is the third
        QCOMPARE(r.questions[1].name.toInt(), 2);
    }

    void aikenRefusals() {
        const QByteArray aiken = "Q1\nA) a\nB) b\nC) c\nANSWER: A\n\n"             // 1: three
                                 "Q2\nA) a\nB) b\nC) c\nD) d\nE) e\nANSWER: A\n\n" // 7: five
                                 "Q3\nА) а\nБ) б\nВ) в\nГ) г\nANSWER: B\n\n"       // 15: Latin B
                                 "Q4\nA) a\nC) c\nB) b\nD) d\nANSWER: A\n\n"       // 22: order
                                 "Q5\nA) a\nB) b\nC) c\nD) d\n\n"                  // 29: no answer
                                 "Q6\nA) a\nB) b\nC) c\nD) d\nANSWER: D\n";        // taken
        Result r;
        aiken::read(aiken, r);
        QCOMPARE(r.taken, 1);
        QVector<int> lines;
        for (const Message& m : r.refusals)
            lines << m.line;
        QCOMPARE(lines, (QVector<int>{1, 7, 15, 22, 29}));
        QVERIFY(r.refusals[2].text.contains("«B»"));
    }

    void csvWithQuotesPicturesAndCp1251() {
        const QByteArray bmp = encodeBitmap(drawing());
        const auto files = [&](const QString& path) -> QByteArray {
            if (path == QLatin1String("pic.png"))
                return saved(drawing(), "png");
            if (path == QLatin1String("pic.bmp"))
                return bmp;
            throw Error(QStringLiteral("нет файла рисунка «%1»").arg(path));
        };
        const QString text =
            QStringLiteral("Vopros,Otvet1,Otvet2,Otvet3,Otvet4,PrOtvet,Graph,Name\r\n"
                           "\"Вопрос, в две\r\nстроки\",а,\"б \"\"в\"\"\",г,д,4,pic.png,10\r\n"
                           "Второй,a,b,c,d,1,pic.bmp,\r\n"
                           "Третий,a,b,c,d,5,,\r\n"
                           "Четвёртый,a,b,c,d,1,нет.png,\r\n"
                           "Пятый,a,b\r\n");
        for (const QByteArray& source :
             {QByteArray("\xef\xbb\xbf") + text.toUtf8(), textfile::toCp1251(text)}) {
            Result r;
            csvbank::read(source, files, r);
            QCOMPARE(r.taken, 2);
            QCOMPARE(r.questions[0].vopros, QStringLiteral("Вопрос, в две\r\nстроки"));
            QCOMPARE(r.questions[0].otvet[1], QStringLiteral("б \"в\""));
            QCOMPARE(r.questions[0].prOtvet.toInt(), 4);
            QCOMPARE(r.questions[0].name.toInt(), 10);
            QCOMPARE(rgb(decodeGraph(r.questions[0].graph)), drawing());
            QCOMPARE(r.questions[1].graph, bmp); // a bitmap the program reads is kept as it is
            QVERIFY(r.questions[1].name.isNull());
            QVector<int> lines;
            for (const Message& m : r.refusals)
                lines << m.line;
            QCOMPARE(lines, (QVector<int>{5, 6, 7}));
        }
        Result wrongHeader;
        csvbank::read("Vopros;Otvet1;Otvet2;Otvet3;Otvet4;Pravilny\n", files, wrongHeader);
        QVERIFY(wrongHeader.broken);
    }

    void picturesKeepTheirPixels_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QImage>("expected");
        QTest::newRow("png") << saved(drawing(), "png") << drawing();
        QImage four = drawing(QImage::Format_Indexed8);
        for (int y = 0; y < four.height(); ++y)
            for (int x = 0; x < four.width(); ++x)
                four.setPixel(x, y, uint(four.pixelIndex(x, y) % 4));
        QTest::newRow("gif") << gifOf(four) << four;
        QImage transparent(3, 2, QImage::Format_ARGB32);
        transparent.fill(qRgba(0, 0, 0, 0));
        QImage white(3, 2, QImage::Format_RGB32);
        white.fill(qRgb(255, 255, 255));
        QTest::newRow("transparent over white") << saved(transparent, "png") << white;
    }
    void picturesKeepTheirPixels() {
        QFETCH(QByteArray, file);
        QFETCH(QImage, expected);
        const QImage back = decodeGraph(pictureToGraph(file));
        QCOMPARE(rgb(back), rgb(expected));
        QCOMPARE(rgb(decodeGraph(pictureToGraph(graphToPng(encodeBitmap(back))))), rgb(back));
    }

    // Plain PNGs are read without Qt's reader: to the same bytes, and refused or taken as that
    // reader would when a checksum is wrong.
    void plainPngsAsQtReadsThem_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QImage>("expected"); // null: refused
        QTest::addColumn<bool>("plain");      // read without Qt's reader
        QImage noisy(37, 23, QImage::Format_ARGB32);
        for (int y = 0; y < noisy.height(); ++y)
            for (int x = 0; x < noisy.width(); ++x)
                noisy.setPixel(x, y,
                               qRgba(x * 7, (x * y * 13) % 256, (x ^ y) * 5, (x * 29 + y) % 256));
        const QImage opaque = noisy.convertToFormat(QImage::Format_RGB32);
        QImage overWhite = opaque;
        for (int y = 0; y < noisy.height(); ++y)
            for (int x = 0; x < noisy.width(); ++x) {
                const QRgb c = noisy.pixel(x, y);
                const auto mix = [a = qAlpha(c)](int v) {
                    return (v * a + 255 * (255 - a) + 127) / 255;
                };
                overWhite.setPixel(x, y, qRgb(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c))));
            }
        QTest::newRow("rgb, every filter") << pngOf(opaque, false) << opaque << true;
        QTest::newRow("rgba, every filter") << pngOf(noisy, true) << overWhite << true;
        for (const int spoil : {-1, 1, 4}) {
            const QByteArray file = pngOf(opaque, false, spoil);
            QTest::newRow(qPrintable(QStringLiteral("spoilt %1").arg(spoil)))
                << file << QImage::fromData(file, "png").convertToFormat(QImage::Format_RGB32)
                << false;
        }
    }
    void plainPngsAsQtReadsThem() {
        QFETCH(QByteArray, file);
        QFETCH(QImage, expected);
        QFETCH(bool, plain);
        QCOMPARE(plainPngToBitmap(file).has_value(), plain);
        if (expected.isNull())
            QVERIFY_THROWS_EXCEPTION(Error, pictureToGraph(file));
        else
            QCOMPARE(pictureToGraph(file), encodeBitmap(expected));
    }

    void picturesBeyondTheLimitsAreRefused() {
        const QImage wide(bitmap::maxSide + 1, 1, QImage::Format_Mono);
        QVERIFY_THROWS_EXCEPTION(Error, pictureToGraph(saved(wide, "png")));
        QVERIFY_THROWS_EXCEPTION(Error, pictureToGraph("%PDF-1.4"));
        QVERIFY_THROWS_EXCEPTION(Error, pictureToGraph(saved(drawing(), "jpeg").left(100)));
    }

    void moodleWriterRoundTrip() {
        Question q;
        q.name = 5;
        q.vopros = QStringLiteral("  Отступ\nи <теги> & \"кавычки\"  ");
        for (int k = 0; k < 4; ++k)
            q.otvet[k] = QStringLiteral("вариант\t%1 ").arg(k);
        q.prOtvet = QStringLiteral("4");
        q.graph = encodeBitmap(drawing(QImage::Format_Indexed8));
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        moodlexml::Writer writer(&buffer);
        QCOMPARE(writer.add(q), 0);
        Question bad = q;
        bad.prOtvet = QStringLiteral("5");
        QVERIFY_THROWS_EXCEPTION(Error, writer.add(bad));
        writer.finish();
        Result r;
        moodlexml::read(buffer.data(), r);
        QCOMPARE(refusals(r), QStringList());
        QCOMPARE(r.questions.size(), 1);
        const Question& back = r.questions[0];
        QCOMPARE(back.name.toInt(), 5);
        QCOMPARE(back.vopros, q.vopros);
        for (int k = 0; k < 4; ++k)
            QCOMPARE(back.otvet[k], q.otvet[k]);
        QCOMPARE(back.prOtvet.toInt(), 4);
        QCOMPARE(rgb(decodeGraph(back.graph)), rgb(decodeGraph(q.graph)));
    }
};

QTEST_GUILESS_MAIN(TestExchangeFormats)
#include "test_exchange_formats.moc"
