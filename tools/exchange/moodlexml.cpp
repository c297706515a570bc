#include "moodlexml.h"

#include "bankcheck.h"
#include "error.h"
#include "htmltext.h"
#include "pictures.h"
#include "reasons.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace exchange::moodlexml {
namespace {

using namespace Qt::Literals::StringLiterals;

// Pictures are decoded beside the reading, some questions ahead, so that the reader rarely
// waits for one; questions are still taken or refused in the order of the source. A few
// pictures at a time keep the decoding threads busy, and bound the memory large ones take.
constexpr size_t maxAhead = 64;
constexpr qsizetype maxPicturesAhead = 4;

// A question being read, and the first reason to refuse it.
struct Pending {
    Question q;
    QString name;
    QString refusal;
    QVector<double> grades; // of the answers, in percent
    bool single = true;
    QString optionRefusal; // an option a record cannot carry, unless the question has worse
    QVector<Message> notes;
    int answers = 0;
    bool hasPicture = false;
    bool passedOver =
        false; // a category, or where the source breaks off: neither taken nor refused
    std::future<QByteArray> decoding;  // the picture as a bitmap, or Error
    bool refusedBeforePicture = false; // that refusal comes first, else the picture's
    void refuse(const QString& why) {
        if (refusal.isEmpty())
            refusal = why;
    }
    void note(const QString& text) { notes.append({q.line, text}); }
    void noteExtras(const HtmlExtras& extras) {
        for (const QString& text : reasons::dropped(extras))
            note(text);
    }
};

// A text's format attribute, taken as the element starts: the reader reuses its room after.
enum class TextFormat { Html, AutoFormat, Plain };

TextFormat formatOf(const QXmlStreamReader& xml) {
    const QStringView format = xml.attributes().value("format"_L1);
    if (format == u"plain_text" || format == u"markdown")
        return TextFormat::Plain;
    return format == u"moodle_auto_format" ? TextFormat::AutoFormat : TextFormat::Html;
}

QString textOf(QStringView text, TextFormat format, HtmlExtras* extras) {
    if (format == TextFormat::Plain)
        return unifyLineEnds(text.toString()).trimmed();
    return htmlToText(text, format == TextFormat::AutoFormat, extras);
}

// The text of the element just started, as readElementText() reads it, into `buffer`, which
// keeps its room from one element to the next: most texts are read only to be converted.
QStringView elementText(QXmlStreamReader& xml, QString& buffer) {
    buffer.resize(0);
    for (;;) {
        switch (xml.readNext()) {
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::EntityReference:
            buffer += xml.text();
            break;
        case QXmlStreamReader::EndElement:
            return buffer;
        case QXmlStreamReader::ProcessingInstruction:
        case QXmlStreamReader::Comment:
            break;
        default:
            if (!xml.hasError())
                xml.raiseError(
                    QCoreApplication::translate("QXmlStream", "Expected character data."));
            return buffer;
        }
    }
}

// Whether a <file> holds a picture, by the signature at its start.
bool isPicture(QStringView base64) {
    return !pictureFormat(QByteArray::fromBase64(base64.left(64).toLatin1())).isEmpty();
}

// Threads that decode pictures: one fewer than the cores, so that the reader, which the whole
// import waits on, keeps one to itself.
QThreadPool& decoders() {
    struct Pool : QThreadPool {
        Pool() { setMaxThreadCount(std::max(1, QThread::idealThreadCount() - 1)); }
    };
    static Pool pool;
    return pool;
}

// A base64 picture: the first one becomes the question's.
void picture(Pending& p, const QString& base64, int line) {
    if (p.hasPicture) {
        p.notes.append({line, u"в тексте вопроса ещё рисунок, взят только первый"_s});
        return;
    }
    p.hasPicture = true;
    if (base64.size() > maxPictureBytes / 3 * 4 * 21 / 20) { // line breaks allowed
        p.refuse(u"файл рисунка больше %1 МБ"_s.arg(maxPictureBytes >> 20));
        return;
    }
    if (!p.refusal.isEmpty()) {
        p.refusedBeforePicture = true;
        return; // refused already: no need to look at the picture
    }
    // On the pool's threads, which live on: a thread started for each picture cost more than
    // the decoding gained. The base64 text is decoded there too, off the reading.
    auto decode = std::make_shared<std::packaged_task<QByteArray()>>(
        [base64] { return pictureToGraph(QByteArray::fromBase64(base64.toLatin1())); });
    p.decoding = decode->get_future();
    decoders().start([decode] { (*decode)(); });
}

// A picture the text shows is carried when it is one of the files embedded with the text.
bool embedded(const QString& source, const QStringList& files) {
    const QString name = embeddedFileName(source);
    return !name.isEmpty() && (files.contains(name) || files.contains(source.section(u'/', 1)));
}

// <questiontext format="..."><text>...</text><file ... encoding="base64">...</file>
void questionText(QXmlStreamReader& xml, QString& buffer, Pending& p) {
    const TextFormat format = formatOf(xml);
    HtmlExtras extras;
    QStringList pictures, others;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"text") {
            p.q.vopros = textOf(elementText(xml, buffer), format, &extras);
        } else if (xml.name() == u"file") {
            const int line = int(xml.lineNumber());
            const bool base64 = xml.attributes().value("encoding"_L1) == u"base64";
            const QString name = xml.attributes().value("name"_L1).toString();
            const QString data = elementText(xml, buffer).toString();
            if (!base64 || !isPicture(data)) {
                others << name;
                continue;
            }
            pictures << name;
            picture(p, data, line);
        } else {
            xml.skipCurrentElement();
        }
    }
    for (const QString& source : extras.pictures)
        if (!embedded(source, pictures))
            p.note(reasons::pictureDropped(source));
    p.noteExtras(extras);
    // A sound or a document the text links to has been named already.
    for (const QString& name : others)
        if (!std::any_of(extras.links.begin(), extras.links.end(),
                         [&](const QString& s) { return embedded(s, {name}); }) &&
            !std::any_of(extras.media.begin(), extras.media.end(),
                         [&](const QString& s) { return embedded(s, {name}); }))
            p.note(reasons::attachmentDropped(name));
}

void answer(QXmlStreamReader& xml, QString& buffer, Pending& p) {
    const TextFormat format = formatOf(xml);
    bool ok = false;
    const QStringView fractionText = xml.attributes().value("fraction"_L1);
    const double fraction = fractionText.isEmpty() ? 0.0 : fractionText.toDouble(&ok);
    if (!fractionText.isEmpty() && !ok)
        p.refuse(u"оценка ответа «%1» не число"_s.arg(fractionText));
    p.grades << fraction;
    const int number = ++p.answers;
    HtmlExtras extras;
    QString text;
    bool picture = false;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"text") {
            text = textOf(elementText(xml, buffer), format, &extras);
        } else if (xml.name() == u"file") {
            const QString name = xml.attributes().value("name"_L1).toString();
            if (isPicture(elementText(xml, buffer)))
                picture = true;
            else
                p.note(reasons::attachmentDropped(name));
        } else {
            xml.skipCurrentElement();
        }
    }
    p.noteExtras(extras);
    if (number > 4)
        return;
    p.q.otvet[number - 1] = text;
    if (!picture && extras.pictures.isEmpty())
        return;
    if (text.isEmpty() && p.optionRefusal.isEmpty())
        p.optionRefusal = reasons::optionWithoutText(number);
    else if (!text.isEmpty())
        p.note(reasons::optionPictureDropped(number));
}

Pending question(QXmlStreamReader& xml, QString& buffer) {
    Pending p;
    p.q.line = int(xml.lineNumber());
    const QString type = xml.attributes().value("type"_L1).toString();
    if (type != u"multichoice") {
        xml.skipCurrentElement();
        p.passedOver = type == u"category" || xml.hasError();
        p.refuse(reasons::unsupportedType(type));
        return p;
    }
    while (xml.readNextStartElement()) {
        const QStringView element = xml.name();
        if (element == u"name") {
            while (xml.readNextStartElement())
                if (xml.name() == u"text")
                    p.name = elementText(xml, buffer).toString();
                else
                    xml.skipCurrentElement();
        } else if (element == u"questiontext") {
            questionText(xml, buffer, p);
        } else if (element == u"image_base64") { // the picture as older versions write it
            const int line = int(xml.lineNumber());
            const QString data = elementText(xml, buffer).toString();
            if (isPicture(data))
                picture(p, data, line);
            else
                p.note(reasons::attachmentDropped(u"image_base64"_s)); // not `element`: read past
        } else if (element == u"single") {
            const QStringView single = elementText(xml, buffer).trimmed();
            p.single = single != u"false" && single != u"0";
        } else if (element == u"answer") {
            answer(xml, buffer, p);
        } else {
            xml.skipCurrentElement();
        }
    }
    p.passedOver = xml.hasError(); // the source breaks off inside the question
    int right = 0;
    p.refuse(reasons::choiceRefusal(p.grades, p.single, &right));
    p.refuse(p.optionRefusal);
    p.q.prOtvet = right;
    return p;
}

// Takes or refuses a question read, once its picture is ready.
void settle(Pending& p, Result& result) {
    if (p.decoding.valid()) {
        try {
            p.q.graph = p.decoding.get();
        } catch (const Error& e) {
            if (!p.refusedBeforePicture)
                p.refusal = e.message();
        }
    }
    if (p.passedOver) {
    } else if (!p.refusal.isEmpty()) {
        result.refuse(p.q.line, p.refusal);
    } else {
        p.q.name = nameFrom(p.name, result);
        result.take(p.q);
        for (const Message& m : p.notes)
            result.note(m.line, m.text);
    }
}

// Questions go from the reading to a thread of their own that waits for their pictures and
// takes or refuses them in the order of the source, so that writing them into a bank runs
// beside the reading rather than after it. They are handed over 32 at a time: waking the
// thread for each would cost more than settling it. The reading waits only when it is far
// ahead. From start to finish(), `result` is the settling thread's alone.
class Settler {
public:
    explicit Settler(Result& result) : m_result(result), m_thread([this] { run(); }) {}
    ~Settler() {
        if (m_thread.joinable())
            stop();
    }
    Settler(const Settler&) = delete;
    Settler& operator=(const Settler&) = delete;

    // False once settling has failed: reading on would be in vain.
    bool add(Pending&& p) {
        std::unique_lock lock(m_mutex);
        if (!m_failure && !hasRoom()) {
            m_readerWaits = true;
            m_ready.notify_one();
            m_room.wait(lock, [this] { return m_failure || hasRoom(); });
            m_readerWaits = false;
        }
        if (m_failure)
            return false;
        ++m_unsettled;
        m_pictures += p.decoding.valid() ? 1 : 0;
        m_queue.push_back(std::move(p));
        if (m_queue.size() >= handOver)
            m_ready.notify_one();
        return true;
    }
    // Waits for all to be settled; rethrows what settling threw (the sink's failure).
    void finish() {
        stop();
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    static constexpr size_t handOver = 32;

    bool hasRoom() const { return m_unsettled < maxAhead && m_pictures < maxPicturesAhead; }
    void stop() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_ready.notify_one();
        m_thread.join();
    }
    void run() {
        std::deque<Pending> batch;
        for (;;) {
            std::unique_lock lock(m_mutex);
            m_ready.wait(lock, [this] {
                return m_done || m_queue.size() >= handOver || (m_readerWaits && !m_queue.empty());
            });
            if (m_queue.empty())
                return;
            batch.swap(m_queue);
            lock.unlock();
            for (Pending& p : batch) {
                const bool picture = p.decoding.valid();
                try {
                    settle(p, m_result);
                } catch (...) {
                    lock.lock();
                    m_failure = std::current_exception();
                    m_room.notify_one();
                    return;
                }
                p = Pending(); // the picture's memory goes now, not with the batch
                lock.lock();
                --m_unsettled;
                m_pictures -= picture ? 1 : 0;
                if (m_readerWaits)
                    m_room.notify_one();
                lock.unlock();
            }
            batch.clear();
        }
    }

    Result& m_result;
    std::mutex m_mutex;
    std::condition_variable m_ready, m_room;
    std::deque<Pending> m_queue;
    size_t m_unsettled = 0;   // questions handed over and not yet settled
    qsizetype m_pictures = 0; // of those, the ones with a picture being decoded
    bool m_readerWaits = false;
    bool m_done = false;
    std::exception_ptr m_failure;
    std::thread m_thread; // last: starts when the rest is ready
};

} // namespace

void read(QIODevice* source, Result& result) {
    QXmlStreamReader xml(source);
    if (!xml.readNextStartElement() || xml.name() != u"quiz") {
        if (xml.hasError())
            result.breakOff(int(qMax<qint64>(1, xml.lineNumber())),
                            u"XML не читается: %1"_s.arg(xml.errorString()));
        else
            result.breakOff(int(qMax<qint64>(1, xml.lineNumber())),
                            u"это не Moodle XML: нет элемента <quiz>"_s);
        return;
    }
    QString buffer; // element texts, one at a time
    Settler settler(result);
    while (xml.readNextStartElement()) {
        if (xml.name() != u"question")
            xml.skipCurrentElement();
        else if (!settler.add(question(xml, buffer)))
            break;
    }
    settler.finish();
    if (xml.hasError())
        result.breakOff(int(qMax<qint64>(1, xml.lineNumber())),
                        u"XML не читается: %1"_s.arg(xml.errorString()));
}

void read(const QByteArray& source, Result& result) {
    QBuffer buffer;
    buffer.setData(source);
    buffer.open(QIODevice::ReadOnly);
    read(&buffer, result);
}

struct Writer::Impl {
    QXmlStreamWriter xml;
    int count = 0;
};

Writer::Writer(QIODevice* target) : m(new Impl) {
    m->xml.setDevice(target);
    m->xml.setAutoFormatting(true);
    m->xml.setAutoFormattingIndent(2);
    m->xml.writeStartDocument();
    m->xml.writeStartElement("quiz");
}

Writer::~Writer() {
    delete m;
}

int Writer::add(const Question& q) {
    const int right = answerNumber(q.prOtvet.toString());
    if (right == 0)
        throw Error(
            u"номер правильного ответа «%1» — не 1, 2, 3 или 4"_s.arg(q.prOtvet.toString()));
    const QByteArray png = q.graph.isEmpty() ? QByteArray() : graphToPng(q.graph);
    int replaced = 0;
    ++m->count;
    const QString pictureName = u"picture-%1.png"_s.arg(m->count);
    QString html = textToHtml(q.vopros, &replaced);
    if (!png.isEmpty())
        html += u"<p><img src=\"@@PLUGINFILE@@/%1\" alt=\"\"></p>"_s.arg(pictureName);
    QString name = q.name.toString();
    if (name.isEmpty())
        name = u"Вопрос %1"_s.arg(m->count);
    QXmlStreamWriter& x = m->xml;
    x.writeStartElement("question");
    x.writeAttribute("type", "multichoice");
    x.writeStartElement("name");
    x.writeTextElement("text", xmlSafe(name, &replaced));
    x.writeEndElement();
    x.writeStartElement("questiontext");
    x.writeAttribute("format", "html");
    x.writeTextElement("text", html);
    if (!png.isEmpty()) {
        x.writeStartElement("file");
        x.writeAttribute("name", pictureName);
        x.writeAttribute("path", "/");
        x.writeAttribute("encoding", "base64");
        x.writeCharacters(QString::fromLatin1(png.toBase64()));
        x.writeEndElement();
    }
    x.writeEndElement();
    x.writeTextElement("defaultgrade", "1");
    x.writeTextElement("single", "true");
    x.writeTextElement("shuffleanswers", "false");
    x.writeTextElement("answernumbering", "123");
    for (int k = 0; k < 4; ++k) {
        x.writeStartElement("answer");
        x.writeAttribute("fraction", k + 1 == right ? "100" : "0");
        x.writeAttribute("format", "html");
        x.writeTextElement("text", textToHtml(q.otvet[k], &replaced));
        x.writeEndElement();
    }
    x.writeEndElement();
    return replaced;
}

void Writer::finish() {
    m->xml.writeEndElement();
    m->xml.writeEndDocument();
    if (m->xml.hasError())
        throw Error(u"не удаётся записать файл"_s);
}

} // namespace exchange::moodlexml
