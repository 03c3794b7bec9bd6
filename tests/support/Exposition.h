#pragma once

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cmath>

// A strict reader of Prometheus' text exposition format (version 0.0.4), as a scraper reads
// it: each fault it finds is named, and the samples are kept by their series, written
// name{label="value",...} with the labels in the order given.
struct Exposition {
    QStringList faults;
    QHash<QString, double> samples;
    QHash<QString, QString> types; // family: counter, gauge, histogram...

    double value(const QString& series) const { return samples.value(series, std::nan("")); }

    static Exposition read(const QByteArray& text) {
        Exposition read;
        read.parse(QString::fromUtf8(text));
        return read;
    }

private:
    QString family_; // the family whose lines come now
    QSet<QString> ended_;
    QList<QPair<QString, double>> ordered_;

    // The family a sample's name belongs to: a histogram's _bucket, _sum and _count are its.
    QString familyOf(const QString& name) const {
        for (const char* suffix : {"_bucket", "_sum", "_count"})
            if (name.endsWith(QLatin1String(suffix))) {
                const QString base = name.chopped(static_cast<qsizetype>(strlen(suffix)));
                if (types.value(base) == QLatin1String("histogram"))
                    return base;
            }
        return name;
    }

    void enter(const QString& family, int line) {
        if (family == family_)
            return;
        if (ended_.contains(family))
            faults << QStringLiteral("line %1: %2's lines are not together").arg(line).arg(family);
        ended_.insert(family_);
        family_ = family;
    }

    void parse(const QString& text) {
        static const QRegularExpression name(QStringLiteral("^[a-zA-Z_:][a-zA-Z0-9_:]*$"));
        static const QRegularExpression sample(
            QStringLiteral("^([a-zA-Z_:][a-zA-Z0-9_:]*)(\\{(.*)\\})? (\\S+)( -?[0-9]+)?$"));
        static const QRegularExpression label(
            QStringLiteral("^([a-zA-Z_][a-zA-Z0-9_]*)=\"((?:[^\"\\\\\\n]|\\\\[\\\\\"n])*)\"(,|$)"));
        if (!text.endsWith(u'\n'))
            faults << QStringLiteral("the last line has no line feed");
        const QStringList lines = text.split(u'\n');
        for (int i = 0; i + 1 < lines.size(); ++i) {
            const QString& line = lines[i];
            if (line.startsWith(QLatin1String("# HELP ")) ||
                line.startsWith(QLatin1String("# TYPE "))) {
                const QStringList parts = line.split(u' ');
                if (parts.size() < 4 || !name.match(parts[2]).hasMatch()) {
                    faults << QStringLiteral("line %1: %2").arg(i + 1).arg(line);
                    continue;
                }
                enter(parts[2], i + 1);
                if (parts[1] == QLatin1String("TYPE")) {
                    if (types.contains(parts[2]))
                        faults << QStringLiteral("line %1: a second TYPE").arg(i + 1);
                    static const QStringList known{"counter", "gauge", "histogram", "summary",
                                                   "untyped"};
                    if (parts.size() != 4 || !known.contains(parts[3]))
                        faults << QStringLiteral("line %1: %2").arg(i + 1).arg(line);
                    types.insert(parts[2], parts[3]);
                }
                continue;
            }
            if (line.isEmpty() || line.startsWith(u'#'))
                continue;
            const auto match = sample.match(line);
            bool isNumber = false;
            double value = match.hasMatch() ? match.captured(4).toDouble(&isNumber) : 0;
            if (!isNumber && match.hasMatch()) {
                const QString word = match.captured(4);
                isNumber = word == QLatin1String("+Inf") || word == QLatin1String("-Inf") ||
                           word == QLatin1String("NaN");
                value = word == QLatin1String("+Inf")   ? INFINITY
                        : word == QLatin1String("-Inf") ? -INFINITY
                                                        : NAN;
            }
            if (!isNumber) {
                faults << QStringLiteral("line %1: no sample: %2").arg(i + 1).arg(line);
                continue;
            }
            QString labels = match.captured(3);
            QStringList names;
            while (!labels.isEmpty()) {
                const auto pair = label.match(labels);
                if (!pair.hasMatch() || names.contains(pair.captured(1))) {
                    faults << QStringLiteral("line %1: labels: %2").arg(i + 1).arg(labels);
                    break;
                }
                names << pair.captured(1);
                labels = labels.mid(pair.capturedLength());
            }
            const QString family = familyOf(match.captured(1));
            enter(family, i + 1);
            if (!types.contains(family))
                faults
                    << QStringLiteral("line %1: %2 has no TYPE before it").arg(i + 1).arg(family);
            const QString series = match.captured(1) + match.captured(2);
            if (samples.contains(series))
                faults << QStringLiteral("line %1: %2 twice").arg(i + 1).arg(series);
            samples.insert(series, value);
            ordered_.append({series, value});
        }
        checkFamilies();
    }

    // Prometheus' conventions: counters end in _total; a histogram's buckets rise, in order, to
    // +Inf, which is its count.
    void checkFamilies() {
        QHash<QString, QPair<double, double>> lastBucket; // series without le: its le, count
        for (const auto& [series, value] : ordered_) {
            const QString family = familyOf(series.left(series.indexOf(u'{')));
            if (types.value(family) != QLatin1String("histogram") ||
                !series.startsWith(family + QStringLiteral("_bucket")))
                continue;
            const qsizetype at = series.indexOf(QLatin1String("le=\""));
            const double le = at < 0 ? NAN : leOf(series.mid(at + 4).section(u'"', 0, 0));
            const QString rest = family + withoutLe(series);
            const auto last = lastBucket.value(rest, {-INFINITY, 0});
            if (std::isnan(le) || le <= last.first || value < last.second)
                faults << series + QStringLiteral(": buckets out of order");
            lastBucket.insert(rest, {le, value});
            if (std::isinf(le) &&
                samples.value(family + QStringLiteral("_count") + withoutLe(series), -1) != value)
                faults << series + QStringLiteral(": +Inf is not the count");
        }
        for (auto type = types.cbegin(); type != types.cend(); ++type)
            if (type.value() == QLatin1String("counter") &&
                !type.key().endsWith(QLatin1String("_total")))
                faults << type.key() + QStringLiteral(": a counter without _total");
    }

    static double leOf(const QString& text) {
        bool ok = false;
        const double value = text.toDouble(&ok);
        return text == QLatin1String("+Inf") ? INFINITY : ok ? value : NAN;
    }

    static QString withoutLe(const QString& bucket) {
        QString labels = bucket.mid(bucket.indexOf(u'{'));
        labels.remove(QRegularExpression(QStringLiteral(",?le=\"[^\"]*\"")));
        return labels == QLatin1String("{}") ? QString() : labels;
    }
};
