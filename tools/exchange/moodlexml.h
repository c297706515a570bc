#pragma once

#include "question.h"

class QIODevice;

// Moodle XML: a <quiz> of <question> elements. Taken: type "multichoice" with one right
// answer (<single>true</single>) and exactly four answers, one of fraction 100; the first
// picture embedded in the question text (base64 PNG, JPEG, GIF or BMP) becomes the picture.
namespace exchange::moodlexml {

// Reads the whole source. Categories are passed over; other question types are refused.
void read(QIODevice* source, Result& result);
void read(const QByteArray& source, Result& result);

// Writes questions as a Moodle XML quiz: texts as HTML that read() turns back into the same
// texts, pictures embedded as PNG.
class Writer {
public:
    explicit Writer(QIODevice* target);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Throws Error (nothing written) when the question cannot be carried: a right-answer
    // number that is not 1 to 4, or a picture the program refuses. Returns how many
    // characters XML cannot carry had to become U+FFFD.
    int add(const Question& question);
    void finish(); // throws Error when the target could not be written

private:
    struct Impl;
    Impl* m;
};

} // namespace exchange::moodlexml
