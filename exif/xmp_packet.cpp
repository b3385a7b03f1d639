#include "exif/xmp_packet.h"

#include <expat.h>

#include <algorithm>
#include <array>

#include "exif/text_decode.h"

namespace exif {
namespace {

struct XmpProperty {
    std::string_view name;  // as callers ask for it
    std::string_view namespaceUri;
    std::string_view localName;
};

constexpr std::string_view kDc = "http://purl.org/dc/elements/1.1/";
constexpr std::string_view kAux = "http://ns.adobe.com/exif/1.0/aux/";
constexpr std::string_view kXmp = "http://ns.adobe.com/xap/1.0/";
constexpr std::string_view kPhotoshop = "http://ns.adobe.com/photoshop/1.0/";

constexpr std::array<XmpProperty, 15> kProperties{{
    {"exifEX:LensModel", "http://cipa.jp/exif/1.0/", "LensModel"},
    {"aux:Lens", kAux, "Lens"},
    {"aux:LensInfo", kAux, "LensInfo"},
    {"aux:SerialNumber", kAux, "SerialNumber"},
    {"aux:LensSerialNumber", kAux, "LensSerialNumber"},
    {"dc:title", kDc, "title"},
    {"dc:description", kDc, "description"},
    {"dc:creator", kDc, "creator"},
    {"dc:subject", kDc, "subject"},
    {"xmp:Rating", kXmp, "Rating"},
    {"xmp:Label", kXmp, "Label"},
    {"photoshop:City", kPhotoshop, "City"},
    {"photoshop:State", kPhotoshop, "State"},
    {"photoshop:Country", kPhotoshop, "Country"},
    {"xmpNote:HasExtendedXMP", "http://ns.adobe.com/xmp/note/", "HasExtendedXMP"},
}};

constexpr std::string_view kRdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
constexpr std::string_view kXmlLang = "http://www.w3.org/XML/1998/namespace lang";
// expat joins a namespace URI and a local name with this character.
constexpr char kSeparator = ' ';

// What an open element is to the walk.
enum class Role : std::uint8_t { Other, Rdf, Description, Property, Container, Item };

int PropertyIndex(std::string_view expandedName) {
    const std::size_t split = expandedName.rfind(kSeparator);
    if (split == std::string_view::npos) return -1;
    const std::string_view uri = expandedName.substr(0, split),
                           local = expandedName.substr(split + 1);
    for (std::size_t i = 0; i < kProperties.size(); ++i)
        if (kProperties[i].namespaceUri == uri && kProperties[i].localName == local)
            return static_cast<int>(i);
    return -1;
}

bool IsRdf(std::string_view expandedName, std::string_view local) {
    return expandedName.size() == kRdf.size() + 1 + local.size() &&
           expandedName.starts_with(kRdf) && expandedName.substr(kRdf.size() + 1) == local;
}

bool Blank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

class Walk {
public:
    explicit Walk(XML_Parser parser, std::vector<std::vector<std::string>>& values)
        : parser_(parser), values_(values) {}

    void start(const XML_Char* name, const XML_Char** attributes) {
        ++depth_;
        if (depth_ > kMaxXmpDepth) return;  // not followed: no property lies this deep
        const std::string_view element = name;
        const Role parent = roles_.empty() ? Role::Other : roles_.back();
        Role role = Role::Other;
        if (IsRdf(element, "RDF")) {
            role = Role::Rdf;
        } else if (parent == Role::Rdf && IsRdf(element, "Description")) {
            role = Role::Description;
            // Simple properties may stand as attributes of the description.
            for (const XML_Char** a = attributes; a[0] != nullptr; a += 2) {
                const int index = PropertyIndex(a[0]);
                if (index >= 0) add(index, a[1], false);
            }
        } else if (parent == Role::Description && (property_ = PropertyIndex(element)) >= 0) {
            role = Role::Property;
            text_.clear();
            items_ = 0;
        } else if (parent == Role::Property &&
                   (IsRdf(element, "Alt") || IsRdf(element, "Bag") || IsRdf(element, "Seq"))) {
            role = Role::Container;
        } else if (parent == Role::Container && IsRdf(element, "li")) {
            role = Role::Item;
            text_.clear();
            defaultLanguage_ = false;
            for (const XML_Char** a = attributes; a[0] != nullptr; a += 2)
                if (std::string_view(a[0]) == kXmlLang && std::string_view(a[1]) == "x-default")
                    defaultLanguage_ = true;
        }
        roles_.push_back(role);
    }

    void end() {
        if (depth_-- > kMaxXmpDepth) return;
        const Role role = roles_.back();
        roles_.pop_back();
        if (role == Role::Item) {
            ++items_;
            add(property_, text_, defaultLanguage_);
        } else if (role == Role::Property) {
            if (items_ == 0 && !Blank(text_)) add(property_, text_, false);
            property_ = -1;
        }
    }

    void text(const XML_Char* data, int length) {
        if (roles_.empty() || depth_ > kMaxXmpDepth) return;
        const Role role = roles_.back();
        if ((role != Role::Item && role != Role::Property) || length <= 0) return;
        const std::size_t room = kMaxXmpValueBytes - std::min(kMaxXmpValueBytes, text_.size());
        text_.append(data, std::min<std::size_t>(static_cast<std::size_t>(length), room));
    }

    // A document type may declare entities that expand without end; XMP has none.
    void stop() { XML_StopParser(parser_, XML_FALSE); }

private:
    void add(int index, std::string_view value, bool first) {
        if (++count_ > kMaxXmpValues) {
            stop();
            return;
        }
        std::vector<std::string>& list = values_[static_cast<std::size_t>(index)];
        const std::string text =
            DecodeUtf8(reinterpret_cast<const std::uint8_t*>(value.data()), value.size());
        if (first) list.insert(list.begin(), text);
        else list.push_back(text);
    }

    XML_Parser parser_;
    std::vector<std::vector<std::string>>& values_;
    std::vector<Role> roles_;
    int depth_ = 0;
    int property_ = -1;
    std::size_t items_ = 0;
    std::size_t count_ = 0;
    bool defaultLanguage_ = false;
    std::string text_;
};

const std::vector<std::string> kNone;

}  // namespace

const std::vector<std::string>& XmpProperties::Values(std::string_view property) const {
    for (std::size_t i = 0; i < kProperties.size() && i < values_.size(); ++i)
        if (kProperties[i].name == property) return values_[i];
    return kNone;
}

void XmpProperties::Complete(const XmpProperties& other) {
    values_.resize(kProperties.size());
    for (std::size_t i = 0; i < values_.size() && i < other.values_.size(); ++i)
        if (values_[i].empty()) values_[i] = other.values_[i];
}

bool XmpProperties::Empty() const {
    return std::all_of(values_.begin(), values_.end(),
                       [](const auto& list) { return list.empty(); });
}

XmpProperties ParseXmp(std::span<const std::uint8_t> packet) {
    XmpProperties properties;
    properties.values_.resize(kProperties.size());
    if (packet.empty() || packet.size() > INT32_MAX) return properties;
    XML_Parser parser = XML_ParserCreateNS(nullptr, kSeparator);
    if (parser == nullptr) return properties;
    Walk walk(parser, properties.values_);
    XML_SetUserData(parser, &walk);
    XML_SetElementHandler(
        parser,
        [](void* walk, const XML_Char* name, const XML_Char** attributes) {
            static_cast<Walk*>(walk)->start(name, attributes);
        },
        [](void* walk, const XML_Char*) { static_cast<Walk*>(walk)->end(); });
    XML_SetCharacterDataHandler(parser, [](void* walk, const XML_Char* data, int length) {
        static_cast<Walk*>(walk)->text(data, length);
    });
    XML_SetStartDoctypeDeclHandler(
        parser, [](void* walk, const XML_Char*, const XML_Char*, const XML_Char*, int) {
            static_cast<Walk*>(walk)->stop();
        });
    // A fault ends the parse; what came before it stays.
    XML_Parse(parser, reinterpret_cast<const char*>(packet.data()), static_cast<int>(packet.size()),
              XML_TRUE);
    XML_ParserFree(parser);
    return properties;
}

}  // namespace exif
