#include "platform/property_store.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonValue>
#include <algorithm>
#include <cmath>
#include <limits>

namespace platform {
namespace {

// A stored number as a real, for the numeric reads; Boolean true is -1.
std::optional<double> AsNumber(const PropertyStore::Value& value) {
    if (const bool* b = std::get_if<bool>(&value)) return *b ? -1.0 : 0.0;
    if (const auto* i = std::get_if<std::int16_t>(&value)) return *i;
    if (const auto* l = std::get_if<std::int32_t>(&value)) return *l;
    if (const float* f = std::get_if<float>(&value)) return *f;
    return std::nullopt;
}

// Rounds halves to even and gives nothing when the result does not fit:
// such a value reads as the default.
template <typename Int>
std::optional<Int> ToInteger(std::optional<double> number) {
    if (!number || !std::isfinite(*number)) return std::nullopt;
    const double rounded = std::nearbyint(*number);
    if (rounded < std::numeric_limits<Int>::min() || rounded > std::numeric_limits<Int>::max())
        return std::nullopt;
    return static_cast<Int>(rounded);
}

std::optional<std::int32_t> ParseColour(const QString& text) {
    QString digits = text.trimmed();
    if (digits.startsWith(QStringLiteral("&H"), Qt::CaseInsensitive)) {
        digits = digits.mid(2);
        if (digits.endsWith(u'&')) digits.chop(1);
    } else if (digits.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) {
        digits = digits.mid(2);
    } else {
        return std::nullopt;
    }
    if (digits.isEmpty() || digits.size() > 8) return std::nullopt;
    bool ok = false;
    const std::uint32_t bits = digits.toUInt(&ok, 16);
    if (!ok) return std::nullopt;
    return static_cast<std::int32_t>(bits);
}

std::optional<PropertyStore::Value> ValueFromJson(const QJsonValue& json) {
    switch (json.type()) {
    case QJsonValue::Bool: return PropertyStore::Value{json.toBool()};
    case QJsonValue::String: return PropertyStore::Value{json.toString()};
    case QJsonValue::Double: {
        const double number = json.toDouble();
        if (!std::isfinite(number)) return std::nullopt;
        if (const auto integral = ToInteger<std::int32_t>(number); integral && *integral == number)
            return PropertyStore::Value{*integral};
        return PropertyStore::Value{static_cast<float>(number)};
    }
    case QJsonValue::Object: {
        const QJsonObject object = json.toObject();
        if (object.size() != 1) return std::nullopt;
        const QString type = object.begin().key();
        const QJsonValue inner = object.begin().value();
        if (type == u"picture" && inner.isString())
            return PropertyStore::Value{PropertyStore::PicturePath{inner.toString()}};
        if (type == u"colour" && inner.isString()) {
            if (const auto colour = ParseColour(inner.toString()))
                return PropertyStore::Value{*colour};
            return std::nullopt;
        }
        if (type == u"integer" && inner.isDouble()) {
            const auto integer = ToInteger<std::int16_t>(inner.toDouble());
            if (integer && *integer == inner.toDouble()) return PropertyStore::Value{*integer};
            return std::nullopt;
        }
        if (type == u"single" && inner.isDouble() && std::isfinite(inner.toDouble()))
            return PropertyStore::Value{static_cast<float>(inner.toDouble())};
        return std::nullopt;
    }
    default: return std::nullopt;
    }
}

QJsonValue ValueToJson(const PropertyStore::Value& value) {
    if (const bool* b = std::get_if<bool>(&value)) return *b;
    if (const auto* i = std::get_if<std::int16_t>(&value))
        return QJsonObject{{QStringLiteral("integer"), static_cast<int>(*i)}};
    if (const auto* l = std::get_if<std::int32_t>(&value)) return static_cast<qint64>(*l);
    if (const float* f = std::get_if<float>(&value))
        return QJsonObject{{QStringLiteral("single"), static_cast<double>(*f)}};
    if (const auto* s = std::get_if<QString>(&value)) return *s;
    const auto& picture = std::get<PropertyStore::PicturePath>(value);
    return QJsonObject{{QStringLiteral("picture"), picture.path}};
}

}  // namespace

const PropertyStore::Value* PropertyStore::find(const QString& key) const {
    const QString lower = key.toLower();
    for (const Entry& entry : entries_) {
        if (entry.key == lower) return &entry.value;
    }
    return nullptr;
}

void PropertyStore::put(const QString& key, Value value) {
    const QString lower = key.toLower();
    for (Entry& entry : entries_) {
        if (entry.key == lower) {
            entry.value = std::move(value);
            return;
        }
    }
    entries_.push_back(Entry{lower, std::move(value)});
}

// A write of the default removes an earlier entry, so the key reads as the
// default afterwards instead of keeping a stale value.
void PropertyStore::remove(const QString& key) {
    const QString lower = key.toLower();
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& entry) { return entry.key == lower; }),
                   entries_.end());
}

bool PropertyStore::readBoolean(const QString& key, bool defaultValue) const {
    const Value* value = find(key);
    if (!value) return defaultValue;
    if (const auto number = AsNumber(*value)) return *number != 0;
    return defaultValue;
}

std::int16_t PropertyStore::readInteger(const QString& key, std::int16_t defaultValue) const {
    const Value* value = find(key);
    if (!value) return defaultValue;
    return ToInteger<std::int16_t>(AsNumber(*value)).value_or(defaultValue);
}

std::int32_t PropertyStore::readLong(const QString& key, std::int32_t defaultValue) const {
    const Value* value = find(key);
    if (!value) return defaultValue;
    return ToInteger<std::int32_t>(AsNumber(*value)).value_or(defaultValue);
}

float PropertyStore::readSingle(const QString& key, float defaultValue) const {
    const Value* value = find(key);
    if (!value) return defaultValue;
    const auto number = AsNumber(*value);
    if (!number || !std::isfinite(*number) ||
        std::fabs(*number) > static_cast<double>(std::numeric_limits<float>::max()))
        return defaultValue;
    return static_cast<float>(*number);
}

QString PropertyStore::readString(const QString& key, const QString& defaultValue) const {
    const Value* value = find(key);
    if (!value) return defaultValue;
    if (const auto* text = std::get_if<QString>(value)) return *text;
    return defaultValue;
}

QString PropertyStore::readPicture(const QString& key, const QString& defaultPath) const {
    const Value* value = find(key);
    if (!value) return defaultPath;
    if (const auto* picture = std::get_if<PicturePath>(value)) return picture->path;
    return defaultPath;
}

void PropertyStore::writeBoolean(const QString& key, bool value, bool defaultValue) {
    if (value == defaultValue) remove(key);
    else put(key, value);
}

void PropertyStore::writeInteger(const QString& key, std::int16_t value,
                                 std::int16_t defaultValue) {
    if (value == defaultValue) remove(key);
    else put(key, value);
}

void PropertyStore::writeLong(const QString& key, std::int32_t value, std::int32_t defaultValue) {
    if (value == defaultValue) remove(key);
    else put(key, value);
}

void PropertyStore::writeSingle(const QString& key, float value, float defaultValue) {
    if (value == defaultValue) remove(key);
    else put(key, value);
}

void PropertyStore::writeString(const QString& key, const QString& value,
                                const QString& defaultValue) {
    if (value == defaultValue) remove(key);
    else put(key, value);
}

void PropertyStore::writePicture(const QString& key, const QString& path,
                                 const QString& defaultPath) {
    if (path == defaultPath) remove(key);
    else put(key, PicturePath{path});
}

bool PropertyStore::contains(const QString& key) const { return find(key) != nullptr; }

std::optional<PropertyStore::Value> PropertyStore::value(const QString& key) const {
    if (const Value* found = find(key)) return *found;
    return std::nullopt;
}

QStringList PropertyStore::keys() const {
    QStringList keys;
    for (const Entry& entry : entries_) keys.append(entry.key);
    return keys;
}

QJsonObject PropertyStore::toJson() const {
    QJsonObject object;
    for (const Entry& entry : entries_) object.insert(entry.key, ValueToJson(entry.value));
    return object;
}

PropertyStore PropertyStore::fromJson(const QJsonObject& object) {
    PropertyStore store;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (auto value = ValueFromJson(it.value())) store.put(it.key(), std::move(*value));
    }
    return store;
}

PropertyStore designProperties(const QString& window, const QString& instance) {
    QFile file(QStringLiteral(":/design/%1.json").arg(window));
    if (!file.open(QIODevice::ReadOnly)) return PropertyStore();
    const QJsonObject widgets = QJsonDocument::fromJson(file.readAll()).object();
    for (auto it = widgets.begin(); it != widgets.end(); ++it) {
        if (it.key().compare(instance, Qt::CaseInsensitive) == 0 && it.value().isObject())
            return PropertyStore::fromJson(it.value().toObject());
    }
    return PropertyStore();
}

}  // namespace platform
