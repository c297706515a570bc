#pragma once

// The large bank the benchmarks time: numbered questions with two-line texts, four options,
// and a 24-bit picture of about 100 KB in every tenth question.
#include "bankfile.h"
#include "bitmap.h"

#include <QImage>

namespace bench {

inline QByteArray pictureBytes(int seed) {
    QImage image(190, 180, QImage::Format_RGB32); // a 24-bit file of about 100 KB
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x + seed) % 256, (y * 3) % 256, (x ^ y) % 256));
    return encodeBitmap(image);
}

inline void makeBank(const QString& path, int questions) {
    bankfile::Writer writer(path);
    for (int i = 1; i <= questions; ++i) {
        bankfile::Question q;
        q.name = i;
        q.vopros =
            QStringLiteral("Вопрос номер %1: какой из ответов верный?\nВторая строка.").arg(i);
        for (int k = 0; k < 4; ++k)
            q.otvet[k] = QStringLiteral("Вариант ответа %1 к вопросу %2").arg(k + 1).arg(i);
        q.prOtvet = 1 + i % 4;
        if (i % 10 == 0)
            q.graph = pictureBytes(i);
        writer.add(q);
    }
    writer.commit();
}

} // namespace bench
