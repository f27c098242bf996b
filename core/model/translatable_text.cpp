#include "model/translatable_text.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>

namespace tonbrook {

TranslatableText::TranslatableText(const char *context, const char *source,
                                   std::initializer_list<TranslatableText> arguments)
    : m_context(context), m_source(source), m_arguments(arguments)
{
}

TranslatableText TranslatableText::verbatim(const QString &text)
{
    TranslatableText made;
    made.m_verbatim = text;
    return made;
}

TranslatableText TranslatableText::verbatim(const QString &english, const QString &localized)
{
    TranslatableText made;
    made.m_verbatim = english;
    made.m_localizedVerbatim = localized;
    return made;
}

TranslatableText TranslatableText::joined(const char *pattern,
                                          std::initializer_list<TranslatableText> arguments)
{
    return TranslatableText(nullptr, pattern, arguments);
}

TranslatableText TranslatableText::number(double value, int decimals)
{
    TranslatableText made;
    made.m_number = value;
    made.m_decimals = std::max(decimals, 0);
    return made;
}

QString TranslatableText::english() const
{
    return compose(false);
}

QString TranslatableText::localized() const
{
    return compose(true);
}

QString TranslatableText::compose(bool localized) const
{
    if (m_decimals >= 0)
        return localized ? QLocale().toString(m_number, 'f', m_decimals)
                         : QString::number(m_number, 'f', m_decimals);
    if (!m_source)
        return localized && !m_localizedVerbatim.isEmpty() ? m_localizedVerbatim : m_verbatim;
    const QString source = localized && m_context ? QCoreApplication::translate(m_context, m_source)
                                                  : QString::fromUtf8(m_source);
    // One pass, so that a %2 inside the first argument (a file name) is never filled in turn.
    QString text;
    text.reserve(source.size());
    for (qsizetype i = 0; i < source.size(); ++i) {
        const QChar c = source[i];
        if (c == u'%' && i + 1 < source.size()) {
            const int digit = source[i + 1].digitValue();
            if (digit >= 1 && std::size_t(digit) <= m_arguments.size()) {
                text += m_arguments[std::size_t(digit) - 1].compose(localized);
                ++i;
                continue;
            }
        }
        text += c;
    }
    return text;
}

} // namespace tonbrook
