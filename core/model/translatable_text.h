#pragma once

#include <QString>

#include <initializer_list>
#include <vector>

namespace tonbrook {

// A text for people that machine-readable output carries as well, such as the reason a job
// failed: kept as its English source and its arguments, and put together in English (exception
// texts, JSON, files) or in the user's language (what people read) on demand. Sources are
// marked with QT_TRANSLATE_NOOP under the context they are given with, so that lupdate collects
// them. Arguments are texts of their own, put together in the same language as the whole: a
// nested reason is translated too, a file name reads the same in both.
class TranslatableText {
public:
    TranslatableText() = default;
    // source, a text of the translation context, with %1 to %9 filled by arguments in order.
    TranslatableText(const char *context, const char *source,
                     std::initializer_list<TranslatableText> arguments = {});

    // The same in every language: a name, a library's own message.
    static TranslatableText verbatim(const QString &text);
    // Translated already, by a library that has its own: its English and its localized text.
    static TranslatableText verbatim(const QString &english, const QString &localized);
    // pattern is no sentence and stays as it is ("%1: %2"); only the arguments are translated.
    static TranslatableText joined(const char *pattern,
                                   std::initializer_list<TranslatableText> arguments);
    // A number with a fixed count of decimals: "-14.5" in English, the user's locale otherwise.
    static TranslatableText number(double value, int decimals);

    QString english() const;
    QString localized() const;
    bool isEmpty() const { return english().isEmpty(); }

    friend bool operator==(const TranslatableText &a, const TranslatableText &b)
    {
        return a.english() == b.english();
    }

private:
    QString compose(bool localized) const;

    const char *m_context = nullptr;
    const char *m_source = nullptr;
    QString m_verbatim;
    QString m_localizedVerbatim; // m_verbatim when empty
    double m_number = 0.0;
    int m_decimals = -1; // 0 or more for a number
    std::vector<TranslatableText> m_arguments;
};

} // namespace tonbrook
