// The property store of a window's widget: typed values under keys compared
// without case (kept in lower case). A write of a value equal to the default
// given with it stores nothing; a read of a missing key gives the default
// given with it. The design-time values of each window's widgets are kept as
// JSON files compiled in under ":/design/".
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace platform {

class PropertyStore {
public:
    enum class Type { Boolean, Integer, Long, Single, String, Picture };

    // A picture is kept as the path it is loaded from (a resource path).
    struct PicturePath {
        QString path;
        bool operator==(const PicturePath&) const = default;
    };
    using Value = std::variant<bool, std::int16_t, std::int32_t, float, QString, PicturePath>;

    bool readBoolean(const QString& key, bool defaultValue) const;
    std::int16_t readInteger(const QString& key, std::int16_t defaultValue) const;
    std::int32_t readLong(const QString& key, std::int32_t defaultValue) const;
    float readSingle(const QString& key, float defaultValue) const;
    QString readString(const QString& key, const QString& defaultValue) const;
    // The picture's path; empty (no picture) when missing.
    QString readPicture(const QString& key, const QString& defaultPath = QString()) const;

    void writeBoolean(const QString& key, bool value, bool defaultValue);
    void writeInteger(const QString& key, std::int16_t value, std::int16_t defaultValue);
    void writeLong(const QString& key, std::int32_t value, std::int32_t defaultValue);
    void writeSingle(const QString& key, float value, float defaultValue);
    void writeString(const QString& key, const QString& value, const QString& defaultValue);
    // An empty path (a picture that was not loaded from a path) is no picture.
    void writePicture(const QString& key, const QString& path,
                      const QString& defaultPath = QString());

    bool contains(const QString& key) const;
    std::optional<Value> value(const QString& key) const;
    // Keys in the order they were first written, lower case.
    QStringList keys() const;
    bool isEmpty() const { return entries_.empty(); }

    // File form: {"key": value}; a value is true/false (Boolean), a number
    // (Long when integral, else Single), a string, or an object naming its
    // type: {"integer": n}, {"single": x}, {"picture": ":/path"}, or
    // {"colour": "&H00007571&"} for a Long written as an OLE colour. Entries
    // that fit none of these are skipped.
    QJsonObject toJson() const;
    static PropertyStore fromJson(const QJsonObject& object);

private:
    struct Entry {
        QString key;
        Value value;
    };
    const Value* find(const QString& key) const;
    void put(const QString& key, Value value);
    void remove(const QString& key);

    std::vector<Entry> entries_;
};

// The design-time values of one widget: the member `instance` (without
// regard to case) of ":/design/<window>.json". Empty when there is none.
PropertyStore designProperties(const QString& window, const QString& instance);

}  // namespace platform
