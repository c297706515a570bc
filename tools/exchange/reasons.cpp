#include "reasons.h"

#include <QHash>

namespace exchange::reasons {

using namespace Qt::Literals::StringLiterals;

namespace {

// An address as the user wrote it, a file embedded with the text by its name, cut where it
// would drown the message (a picture given as data in its address is as long as the picture).
QString shown(const QString& address) {
    const QString embedded = embeddedFileName(address);
    const QString name = embedded.isEmpty() ? address : embedded;
    constexpr qsizetype longest = 80;
    return name.size() <= longest ? name : name.left(longest) + u'…';
}

} // namespace

QString unsupportedType(const QString& type) {
    static const QHash<QString, QString> names{
        {u"truefalse"_s, u"верно/неверно"_s},
        {u"shortanswer"_s, u"короткий ответ"_s},
        {u"numerical"_s, u"числовой ответ"_s},
        {u"essay"_s, u"эссе"_s},
        {u"matching"_s, u"на соответствие"_s},
        {u"description"_s, u"описание"_s},
        {u"multianswer"_s, u"вложенные ответы (Cloze)"_s},
        {u"cloze"_s, u"вложенные ответы (Cloze)"_s},
        {u"calculated"_s, u"вычисляемый"_s},
        {u"calculatedsimple"_s, u"простой вычисляемый"_s},
        {u"calculatedmulti"_s, u"множественный вычисляемый"_s},
        {u"ddwtos"_s, u"перетаскивание в текст"_s},
        {u"gapselect"_s, u"выбор пропущенных слов"_s},
        {u"ddimageortext"_s, u"перетаскивание на изображение"_s},
        {u"ddmarker"_s, u"перетаскивание маркеров"_s},
        {u"ordering"_s, u"упорядочивание"_s},
        {u"randomsamatch"_s, u"случайный вопрос на соответствие"_s}};
    return u"тип вопроса «%1» не поддерживается"_s.arg(names.value(type, type));
}

QString choiceRefusal(const QVector<double>& grades, bool single, int* right) {
    *right = 0;
    if (!single)
        return u"вопрос с несколькими правильными ответами не поддерживается"_s;
    int full = 0;
    for (qsizetype k = 0; k < grades.size(); ++k) {
        if (grades[k] > 100)
            return u"оценка ответа больше 100 %"_s;
        if (grades[k] > 0 && grades[k] < 100)
            return u"частично верные ответы не поддерживаются"_s;
        if (grades[k] == 100) {
            ++full;
            *right = int(k) + 1;
        }
    }
    if (grades.size() != 4)
        return optionCount(grades.size());
    if (full != 1)
        return u"правильных ответов %1, а нужен ровно один"_s.arg(full);
    return QString();
}

QString optionCount(qsizetype count) {
    return u"вариантов ответа %1, а нужно ровно четыре"_s.arg(count);
}

QString optionWithoutText(int number) {
    return u"вариант ответа №%1 — только рисунок, без текста: рисунки в вариантах не "
           u"переносятся"_s.arg(number);
}

QString optionPictureDropped(int number) {
    return u"в варианте ответа №%1 рисунок не перенесён, взят только текст"_s.arg(number);
}

QString pictureDropped(const QString& address) {
    if (!embeddedFileName(address).isEmpty())
        return u"рисунок «%1» не перенесён: его файла нет в выгрузке"_s.arg(shown(address));
    return u"рисунок по адресу «%1» не перенесён"_s.arg(shown(address));
}

QStringList dropped(const HtmlExtras& extras) {
    QStringList notes;
    for (const QString& link : extras.links)
        notes << u"ссылка на «%1» не перенесена, остался только её текст"_s.arg(shown(link));
    for (const QString& media : extras.media)
        notes << (media.isEmpty() ? u"звук или видео не перенесены"_s
                                  : u"звук или видео «%1» не перенесены"_s.arg(shown(media)));
    return notes;
}

QString attachmentDropped(const QString& name) {
    return u"вложение «%1» не перенесено: это не рисунок"_s.arg(shown(name));
}

} // namespace exchange::reasons
