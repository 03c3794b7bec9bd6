#include "queryservice/Metrics.h"

#include <cmath>
#include <limits>

namespace utq::queryservice {
namespace {

QByteArray number(double value) {
    if (std::isinf(value))
        return value > 0 ? "+Inf" : "-Inf";
    if (std::isnan(value))
        return "NaN";
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return QByteArray::number(static_cast<qint64>(value));
    return QByteArray::number(value, 'g', std::numeric_limits<double>::max_digits10);
}

QByteArray escaped(const QString& text, bool quote) {
    QByteArray out;
    for (const char c : text.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"' && quote)
            out += "\\\"";
        else
            out += c;
    }
    return out;
}

QByteArray labelSet(const QStringList& names, const QStringList& values) {
    if (names.isEmpty())
        return {};
    QByteArray out = "{";
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i > 0)
            out += ',';
        out += names[i].toLatin1() + "=\"" + escaped(values.value(i), true) + '"';
    }
    return out + '}';
}

void writeHead(QByteArray& out, const char* name, const char* help, const char* type) {
    out += QByteArray("# HELP ") + name + ' ' + escaped(QString::fromUtf8(help), false) + '\n';
    out += QByteArray("# TYPE ") + name + ' ' + type + '\n';
}

void writeSample(QByteArray& out, const QByteArray& name, const QByteArray& labels, double value) {
    out += name + labels + ' ' + number(value) + '\n';
}

} // namespace

CounterFamily::CounterFamily(const char* name, const char* help, QStringList labels)
    : name_(name), help_(help), labels_(std::move(labels)) {}

void CounterFamily::add(const QStringList& values, double by) { series_[values] += by; }

void CounterFamily::write(QByteArray& out) const {
    writeHead(out, name_, help_, "counter");
    if (labels_.isEmpty() && series_.empty())
        writeSample(out, name_, {}, 0);
    for (const auto& [values, count] : series_)
        writeSample(out, name_, labelSet(labels_, values), count);
}

HistogramFamily::HistogramFamily(const char* name, const char* help, QStringList labels,
                                 QList<double> bounds)
    : name_(name), help_(help), labels_(std::move(labels)), bounds_(std::move(bounds)) {}

void HistogramFamily::observe(const QStringList& values, double value) {
    Series& series = series_[values];
    if (series.counts.isEmpty())
        series.counts.fill(0, bounds_.size());
    for (qsizetype i = 0; i < bounds_.size(); ++i)
        if (value <= bounds_[i]) {
            ++series.counts[i];
            break;
        }
    ++series.count;
    series.sum += value;
}

void HistogramFamily::write(QByteArray& out) const {
    writeHead(out, name_, help_, "histogram");
    const QByteArray name(name_);
    QStringList withLe = labels_;
    withLe.append(QStringLiteral("le"));
    for (const auto& [values, series] : series_) {
        quint64 below = 0;
        for (qsizetype i = 0; i <= bounds_.size(); ++i) {
            const bool last = i == bounds_.size();
            below = last ? series.count : below + series.counts[i];
            const double bound = last ? std::numeric_limits<double>::infinity() : bounds_[i];
            writeSample(out, name + "_bucket",
                        labelSet(withLe, values + QStringList{QString::fromLatin1(number(bound))}),
                        static_cast<double>(below));
        }
        writeSample(out, name + "_sum", labelSet(labels_, values), series.sum);
        writeSample(out, name + "_count", labelSet(labels_, values),
                    static_cast<double>(series.count));
    }
}

void writeGauge(QByteArray& out, const char* name, const char* help, double value) {
    writeHead(out, name, help, "gauge");
    writeSample(out, name, {}, value);
}

void writeCounter(QByteArray& out, const char* name, const char* help, double value) {
    writeHead(out, name, help, "counter");
    writeSample(out, name, {}, value);
}

} // namespace utq::queryservice
