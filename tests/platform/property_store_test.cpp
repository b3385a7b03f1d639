#include "platform/property_store.h"

#include <QJsonDocument>
#include <functional>
#include <gtest/gtest.h>

namespace {

using platform::designProperties;
using platform::PropertyStore;

PropertyStore FromJsonText(const char* text) {
    return PropertyStore::fromJson(QJsonDocument::fromJson(QByteArray(text)).object());
}

TEST(PropertyStore, KeysIgnoreCaseAndAreKeptInLowerCase) {
    PropertyStore store;
    store.writeLong(QStringLiteral("BackColor1"), 30065, 0);
    store.writeString(QStringLiteral("Caption"), QStringLiteral("打开"), QString());
    EXPECT_EQ(store.keys(), (QStringList{QStringLiteral("backcolor1"), QStringLiteral("caption")}));
    EXPECT_EQ(store.readLong(QStringLiteral("BACKCOLOR1"), 0), 30065);
    EXPECT_EQ(store.readString(QStringLiteral("caption"), QString()), QStringLiteral("打开"));
    // Writing under another spelling replaces the one entry.
    store.writeLong(QStringLiteral("backColor1"), 7, 0);
    EXPECT_EQ(store.keys().size(), 2);
    EXPECT_EQ(store.readLong(QStringLiteral("backcolor1"), 0), 7);
}

TEST(PropertyStore, WriteOfTheDefaultStoresNothing) {
    struct Case {
        const char* name;
        std::function<void(PropertyStore&)> writeDefault;
        std::function<void(PropertyStore&)> writeOther;
    };
    const QString key = QStringLiteral("Key");
    const Case cases[] = {
        {"boolean", [&](PropertyStore& s) { s.writeBoolean(key, true, true); },
         [&](PropertyStore& s) { s.writeBoolean(key, false, true); }},
        {"integer", [&](PropertyStore& s) { s.writeInteger(key, 1, 1); },
         [&](PropertyStore& s) { s.writeInteger(key, 2, 1); }},
        {"long", [&](PropertyStore& s) { s.writeLong(key, -2147483633, -2147483633); },
         [&](PropertyStore& s) { s.writeLong(key, 0, -2147483633); }},
        {"single", [&](PropertyStore& s) { s.writeSingle(key, 255.0f, 255.0f); },
         [&](PropertyStore& s) { s.writeSingle(key, 300.0f, 255.0f); }},
        {"string",
         [&](PropertyStore& s) {
             s.writeString(key, QStringLiteral("按钮"), QStringLiteral("按钮"));
         },
         [&](PropertyStore& s) { s.writeString(key, QString(), QStringLiteral("按钮")); }},
        {"picture", [&](PropertyStore& s) { s.writePicture(key, QString()); },
         [&](PropertyStore& s) { s.writePicture(key, QStringLiteral(":/pictures/a.png")); }},
    };
    for (const Case& c : cases) {
        PropertyStore store;
        c.writeDefault(store);
        EXPECT_FALSE(store.contains(key)) << c.name;
        c.writeOther(store);
        EXPECT_TRUE(store.contains(key)) << c.name;
        // A later write of the default must not leave the old value behind.
        c.writeDefault(store);
        EXPECT_FALSE(store.contains(key)) << c.name << " after a write of the default";
    }
}

TEST(PropertyStore, MissingOrUnreadableKeyReadsAsTheDefault) {
    const PropertyStore store = FromJsonText(
        R"({"text": "abc", "big": 40000, "half": 2.5, "flag": true, "pic": {"picture": ":/x.png"}})");
    struct Case {
        const char* name;
        bool equal;
    };
    const Case cases[] = {
        {"missing boolean", store.readBoolean(QStringLiteral("none"), true) == true},
        {"missing integer", store.readInteger(QStringLiteral("none"), 7) == 7},
        {"missing long", store.readLong(QStringLiteral("none"), -9) == -9},
        {"missing single", store.readSingle(QStringLiteral("none"), 1.5f) == 1.5f},
        {"missing string", store.readString(QStringLiteral("none"), QStringLiteral("按钮")) ==
                               QStringLiteral("按钮")},
        {"missing picture", store.readPicture(QStringLiteral("none")).isEmpty()},
        {"string read as a number", store.readLong(QStringLiteral("text"), 5) == 5},
        {"number read as a string",
         store.readString(QStringLiteral("big"), QStringLiteral("d")) == QStringLiteral("d")},
        {"40000 does not fit 16 bits", store.readInteger(QStringLiteral("big"), 3) == 3},
        {"40000 as a long", store.readLong(QStringLiteral("big"), 3) == 40000},
        {"2.5 as an integer rounds to even", store.readInteger(QStringLiteral("half"), 0) == 2},
        {"true as a long is -1", store.readLong(QStringLiteral("flag"), 0) == -1},
        {"picture read as a string",
         store.readString(QStringLiteral("pic"), QStringLiteral("d")) == QStringLiteral("d")},
        {"picture path", store.readPicture(QStringLiteral("pic")) == QStringLiteral(":/x.png")},
    };
    for (const Case& c : cases) EXPECT_TRUE(c.equal) << c.name;
}

TEST(PropertyStore, RoundTripThroughTheFileFormKeepsTypesAndValues) {
    PropertyStore store;
    store.writeBoolean(QStringLiteral("Enabled"), false, true);
    store.writeInteger(QStringLiteral("BorderWidth"), -3, 1);
    store.writeLong(QStringLiteral("Color"), static_cast<std::int32_t>(0x8000000Fu), 0);
    store.writeSingle(QStringLiteral("width"), 262.5f, 255.0f);
    store.writeString(QStringLiteral("Caption"), QStringLiteral("保存信息"),
                      QStringLiteral("按钮"));
    store.writePicture(QStringLiteral("PictureNormal"),
                       QStringLiteral(":/pictures/open_normal.png"));

    const QByteArray file = QJsonDocument(store.toJson()).toJson();
    const PropertyStore back = PropertyStore::fromJson(QJsonDocument::fromJson(file).object());

    ASSERT_EQ(back.keys().size(), store.keys().size());
    for (const QString& key : store.keys()) {
        ASSERT_TRUE(back.value(key).has_value()) << key.toStdString();
        EXPECT_EQ(back.value(key)->index(), store.value(key)->index()) << key.toStdString();
        EXPECT_TRUE(*back.value(key) == *store.value(key)) << key.toStdString();
    }
}

TEST(PropertyStore, FileFormValues) {
    struct Case {
        const char* name;
        const char* json;
        bool present;
        std::int32_t expectLong;
    };
    const Case cases[] = {
        {"colour in the &H form", R"({"k": {"colour": "&H00007571&"}})", true, 0x7571},
        {"system colour", R"({"k": {"colour": "&H8000000F&"}})", true,
         static_cast<std::int32_t>(0x8000000Fu)},
        {"colour in the 0x form", R"({"k": {"colour": "0x0009C1BD"}})", true, 0x0009C1BD},
        {"plain number", R"({"k": 255})", true, 255},
        {"colour that is not hex", R"({"k": {"colour": "&Hzz&"}})", false, 0},
        {"colour of nine digits", R"({"k": {"colour": "&H123456789&"}})", false, 0},
        {"array", R"({"k": [1, 2]})", false, 0},
        {"null", R"({"k": null})", false, 0},
        {"object with two members", R"({"k": {"integer": 1, "single": 2}})", false, 0},
        {"integer out of 16 bits", R"({"k": {"integer": 40000}})", false, 0},
        {"integer with a fraction", R"({"k": {"integer": 1.5}})", false, 0},
        {"unknown type name", R"({"k": {"double": 1}})", false, 0},
    };
    for (const Case& c : cases) {
        const PropertyStore store = FromJsonText(c.json);
        EXPECT_EQ(store.contains(QStringLiteral("k")), c.present) << c.name;
        if (c.present) {
            EXPECT_EQ(store.readLong(QStringLiteral("k"), -1), c.expectLong) << c.name;
        }
    }
}

TEST(DesignProperties, PhotoPanelScrollBarHoldsOnlyItsColours) {
    const PropertyStore store =
        designProperties(QStringLiteral("photo_panel"), QStringLiteral("scrollBar"));
    EXPECT_EQ(store.keys(),
              (QStringList{QStringLiteral("backcolor1"), QStringLiteral("backcolor2"),
                           QStringLiteral("bordercolor1"), QStringLiteral("bordercolor2"),
                           QStringLiteral("bordercolor3")}));
    EXPECT_EQ(store.readLong(QStringLiteral("backColor1"), 0), 0x00007571);
    EXPECT_EQ(store.readLong(QStringLiteral("backColor2"), 0), 0x00008A87);
    EXPECT_EQ(store.readLong(QStringLiteral("borderColor1"), 0), 0x0000605E);
    EXPECT_EQ(store.readLong(QStringLiteral("borderColor2"), 0), 0x00009F9B);
    EXPECT_EQ(store.readLong(QStringLiteral("borderColor3"), 0), 0x0009C1BD);
}

TEST(DesignProperties, MainWindowButtons) {
    struct Case {
        const char* instance;
        const char* normal;
        const char* disabled;  // empty: none
    };
    const Case cases[] = {
        {"openButton", ":/pictures/open_normal.png", ":/pictures/open_disabled.png"},
        {"saveButton", ":/pictures/save_normal.png", ":/pictures/save_disabled.png"},
        {"MENUBUTTON", ":/pictures/menu_normal.png", ""},
        {"minimiseButton", ":/pictures/min_normal.png", ""},
        {"closeButton", ":/pictures/close_normal.png", ""},
    };
    for (const Case& c : cases) {
        const PropertyStore store =
            designProperties(QStringLiteral("main_window"), QString::fromLatin1(c.instance));
        EXPECT_EQ(store.readPicture(QStringLiteral("PictureNormal")), QString::fromLatin1(c.normal))
            << c.instance;
        EXPECT_EQ(store.readPicture(QStringLiteral("PictureFalse")),
                  QString::fromLatin1(c.disabled))
            << c.instance;
        // All five have an empty caption, stored because it differs from "按钮".
        EXPECT_EQ(store.readString(QStringLiteral("Caption"), QStringLiteral("按钮")), QString())
            << c.instance;
    }
    EXPECT_TRUE(
        designProperties(QStringLiteral("main_window"), QStringLiteral("helpButton")).isEmpty());
    EXPECT_TRUE(
        designProperties(QStringLiteral("no_such_window"), QStringLiteral("openButton")).isEmpty());
}

}  // namespace
