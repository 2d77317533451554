#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include <fnd/Directories.h>
#include <fnd/KeyedArchiver.h>
#include <fnd/KeyedUnarchiver.h>
#include <rt/Exception.h>

#include "ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;

class Shelf : public rt::Object, public fnd::Coding {
    RT_CLASS(Shelf, rt::Object)
public:
    std::string label;
    bool locked = false;
    long long count = 0;
    double weight = 0;
    rt::Value items;
    rt::Ref<Shelf> inner;

    void encodeWithCoder(fnd::KeyedArchiver& coder) const override {
        coder.encodeObject(label, "label");
        coder.encodeBool(locked, "locked");
        coder.encodeInt64(count, "count");
        coder.encodeDouble(weight, "weight");
        coder.encodeObject(items, "items");
        coder.encodeObject(inner ? rt::Value(inner) : rt::Value(), "inner");
    }
    void initWithCoder(fnd::KeyedUnarchiver& coder) override {
        label = coder.decodeObject("label").string();
        locked = coder.decodeBool("locked");
        count = coder.decodeInt64("count");
        weight = coder.decodeDouble("weight");
        items = coder.decodeObject("items");
        inner = coder.decodeObject("inner").as<Shelf>();
    }
};

// Archivable in form, but never registered for decoding.
class Stranger : public Shelf {
    RT_CLASS(Stranger, Shelf)
};

std::string text(const rt::Data& data) { return std::string(data.begin(), data.end()); }
rt::Data bytes(const std::string& s) { return rt::Data(s.begin(), s.end()); }

class Archive : public ::testing::Test {
protected:
    void SetUp() override { fnd::registerCodingClass<Shelf>(); }
};

TEST_F(Archive, ObjectsComeBackAsTheirClassWithEveryKindOfValue) {
    auto shelf = rt::make<Shelf>();
    shelf->label = "top";
    shelf->locked = true;
    shelf->count = -9'000'000'000LL;
    shelf->weight = 2.0;
    rt::Dictionary byKey;
    byKey.set(rt::Value(7), "seven");
    byKey.set("bytes", rt::Value(rt::Data{0, 1, 2, 250, 255}));
    shelf->items = rt::Value(rt::Value::Array{rt::Value(1.5), rt::Value(true), rt::Value(3), rt::Value(byKey),
                                              rt::Value::null(), rt::Value(rt::Date{1234.5})});
    shelf->inner = rt::make<Shelf>();
    shelf->inner->label = "nested";

    rt::Ref<rt::Error> error;
    auto decoded = fnd::KeyedUnarchiver::unarchivedObject(fnd::KeyedArchiver::archivedData(shelf), &error).as<Shelf>();
    ASSERT_TRUE(decoded) << (error ? error->description() : "");
    EXPECT_FALSE(error);
    EXPECT_EQ(decoded->className(), "Shelf");
    EXPECT_EQ(decoded->label, "top");
    EXPECT_TRUE(decoded->locked);
    EXPECT_EQ(decoded->count, -9'000'000'000LL);
    EXPECT_DOUBLE_EQ(decoded->weight, 2.0);
    ASSERT_EQ(decoded->items.array().size(), 6u);
    EXPECT_TRUE(decoded->items.array()[0].numberValue().isFloatingPoint()) << "a double stays a double";
    EXPECT_EQ(decoded->items.array()[1].numberValue().kind(), rt::Number::Kind::Bool);
    EXPECT_TRUE(decoded->items.isEqual(shelf->items));
    ASSERT_TRUE(decoded->inner);
    EXPECT_EQ(decoded->inner->label, "nested");
    EXPECT_FALSE(decoded->inner->inner);
}

TEST_F(Archive, TheFileIsReadableAndVersionedAndMissingKeysReadAsZero) {
    auto archiver = rt::make<fnd::KeyedArchiver>();
    archiver->encodeDouble(2.7, "interval");
    std::string written = text(archiver->finishEncoding());
    EXPECT_NE(written.find("\"archive\": \"zid.keyed-archive\""), std::string::npos) << written;
    EXPECT_NE(written.find("\"version\": 1"), std::string::npos) << written;
    EXPECT_THROW(archiver->encodeBool(true, "late"), rt::Exception);

    auto reader = rt::make<fnd::KeyedUnarchiver>(bytes(written));
    EXPECT_FALSE(reader->error());
    EXPECT_EQ(reader->decodeInt64("interval"), 2) << "a double read as an integer truncates";
    EXPECT_FALSE(reader->containsValueForKey("absent"));
    EXPECT_TRUE(reader->decodeObject("absent").isNil());
    EXPECT_EQ(reader->decodeInt64("absent"), 0);
    EXPECT_FALSE(reader->decodeBool("absent"));
    EXPECT_EQ(reader->decodeDouble("absent"), 0.0);
}

TEST_F(Archive, CorruptOrForeignDocumentsAreRefusedWithAnError) {
    struct Case {
        const char* document;
        fnd::KeyedArchiveError code;
    } cases[] = {
        {"{ not json", fnd::KeyedArchiveError::Unreadable},
        {"", fnd::KeyedArchiveError::Unreadable},
        {R"({"archive":"something else","version":1,"top":{}})", fnd::KeyedArchiveError::NotAnArchive},
        {R"({"archive":"zid.keyed-archive","version":2,"top":{}})", fnd::KeyedArchiveError::NotAnArchive},
        {R"({"archive":"zid.keyed-archive","version":1,"top":[]})", fnd::KeyedArchiveError::NotAnArchive},
        {R"([1,2,3])", fnd::KeyedArchiveError::NotAnArchive},
        {R"({"archive":"zid.keyed-archive","version":1,"top":{"root":{"$class":"Stranger","values":{}}}})",
         fnd::KeyedArchiveError::UnknownClass},
        {R"({"archive":"zid.keyed-archive","version":1,"top":{"root":{"$class":"Queue","values":{}}}})",
         fnd::KeyedArchiveError::UnknownClass},
        {R"({"archive":"zid.keyed-archive","version":1,"top":{"root":{"$what":1}}})", fnd::KeyedArchiveError::MalformedValue},
        {R"({"archive":"zid.keyed-archive","version":1,"top":{"root":{"$data":"***"}}})", fnd::KeyedArchiveError::MalformedValue},
    };
    (void)Stranger::staticClass();
    for (const auto& c : cases) {
        rt::Ref<rt::Error> error;
        auto value = fnd::KeyedUnarchiver::unarchivedObject(bytes(c.document), &error);
        EXPECT_TRUE(value.isNil()) << c.document;
        ASSERT_TRUE(error) << c.document;
        EXPECT_EQ(error->domain(), fnd::KeyedArchiveErrorDomain);
        EXPECT_EQ(error->code(), static_cast<long long>(c.code)) << c.document << ": " << error->description();
        EXPECT_FALSE(error->localizedDescription().empty());
    }
}

TEST_F(Archive, DeepNestingIsRefusedInsteadOfExhaustingTheStack) {
    std::string deep = R"({"archive":"zid.keyed-archive","version":1,"top":{"root":)";
    for (int i = 0; i < 5000; ++i) deep += "[";
    for (int i = 0; i < 5000; ++i) deep += "]";
    deep += "}}";
    rt::Ref<rt::Error> error;
    EXPECT_TRUE(fnd::KeyedUnarchiver::unarchivedObject(bytes(deep), &error).isNil());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), static_cast<long long>(fnd::KeyedArchiveError::MalformedValue));
}

// 100,000 levels: far past what a recursive reader, copier or printer survives.
std::string nested(const std::string& open, const std::string& close, int levels, const std::string& middle = "") {
    std::string out;
    out.reserve((open.size() + close.size()) * levels + middle.size());
    for (int i = 0; i < levels; ++i) out += open;
    out += middle;
    for (int i = 0; i < levels; ++i) out += close;
    return out;
}

TEST_F(Archive, HostileNestingAnywhereIsRefusedWithAShortMessage) {
    const std::string head = R"({"archive":"zid.keyed-archive","version":1,"top":{"root":)";
    struct Case {
        std::string document;
        fnd::KeyedArchiveError code;
    } cases[] = {
        // Objects of no known form, nested inside one another.
        {head + nested(R"({"x":)", "}", 100000, "0") + "}}", fnd::KeyedArchiveError::MalformedValue},
        {head + nested("[", "]", 100000) + "}}", fnd::KeyedArchiveError::MalformedValue},
        // A dictionary whose key is the deep value.
        {head + R"({"$dictionary":[[)" + nested(R"({"y":)", "}", 100000, "0") + ",1]]}}}", fnd::KeyedArchiveError::MalformedValue},
        // The header fields themselves.
        {R"({"archive":"zid.keyed-archive","version":)" + nested("[", "]", 100000) + R"(,"top":{}})",
         fnd::KeyedArchiveError::MalformedValue},
        {R"({"archive":)" + nested(R"({"a":)", "}", 100000, "1") + R"(,"version":1,"top":{}})", fnd::KeyedArchiveError::MalformedValue},
    };
    for (const auto& c : cases) {
        rt::Ref<rt::Error> error;
        EXPECT_TRUE(fnd::KeyedUnarchiver::unarchivedObject(bytes(c.document), &error).isNil());
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), static_cast<long long>(c.code)) << error->localizedDescription() << " for " << c.document.substr(0, 100);
        EXPECT_LT(error->localizedDescription().size(), 200u) << error->localizedDescription().substr(0, 300);
    }
    // Brackets inside strings are text, not nesting.
    rt::Ref<rt::Error> error;
    const std::string brackets = "\\\"" + std::string(100000, '[') + std::string(100000, '{');
    auto value = fnd::KeyedUnarchiver::unarchivedObject(bytes(head + "\"" + brackets + "\"}}"), &error);
    EXPECT_FALSE(error);
    EXPECT_EQ(value, rt::Value("\"" + std::string(100000, '[') + std::string(100000, '{')));
}

TEST_F(Archive, AValueOfUnknownFormIsQuotedAsAShortExcerpt) {
    std::string huge(100000, 'z');
    std::string document = R"({"archive":"zid.keyed-archive","version":1,"top":{"root":{"what":")" + huge + R"(","more":[1,2,3]}}})";
    rt::Ref<rt::Error> error;
    EXPECT_TRUE(fnd::KeyedUnarchiver::unarchivedObject(bytes(document), &error).isNil());
    ASSERT_TRUE(error);
    const std::string message = error->localizedDescription();
    EXPECT_EQ(message.rfind("The keyed archive holds a value of unknown form: {\"what\":\"zzz", 0), 0u) << message.substr(0, 200);
    EXPECT_LT(message.size(), 200u);
    EXPECT_EQ(message.substr(message.size() - 3), "...");

    // A class name from the file is quoted short too.
    error = nullptr;
    const std::string longName(100000, 'C');
    fnd::KeyedUnarchiver::unarchivedObject(
        bytes(R"({"archive":"zid.keyed-archive","version":1,"top":{"root":{"$class":")" + longName + R"(","values":{}}}})"), &error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), static_cast<long long>(fnd::KeyedArchiveError::UnknownClass));
    EXPECT_LT(error->localizedDescription().size(), 200u);

    // A small value is quoted whole.
    error = nullptr;
    fnd::KeyedUnarchiver::unarchivedObject(bytes(R"({"archive":"zid.keyed-archive","version":1,"top":{"root":{"$what":[1,{"a":"\u00e9"}]}}})"), &error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->localizedDescription(), "The keyed archive holds a value of unknown form: {\"$what\":[1,{\"a\":\"\u00e9\"}]}");
}

TEST_F(Archive, ObjectsThatCannotBeWrittenRaise) {
    auto loop = rt::make<Shelf>();
    loop->inner = loop;
    EXPECT_THROW(fnd::KeyedArchiver::archivedData(loop), rt::Exception);
    loop->inner = nullptr;  // break the cycle so the object can go
    EXPECT_THROW(fnd::KeyedArchiver::archivedData(rt::make<rt::Object>()), rt::Exception);
}

class Files : public ::testing::Test {
protected:
    zidtest::ScratchDirectory scratch{"zid-archive"};
    fs::path dir = scratch.path();
};

TEST_F(Files, AtomicWriteReplacesTheFileAndLeavesNoTemporaryBehind) {
    std::string path = (dir / "sub" / "shared.tm").string();
    ASSERT_TRUE(fnd::writeFileAtomically(path, bytes("first")));
    ASSERT_TRUE(fnd::writeFileAtomically(path, bytes("second")));
    auto read = fnd::readFile(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(text(*read), "second");
    int entries = 0;
    for ([[maybe_unused]] auto& entry : fs::directory_iterator(dir / "sub")) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(Files, AFailedWriteReportsWhyAndKeepsTheOldContents) {
    fs::create_directories(dir / "target");  // a directory cannot be replaced by a file
    std::string path = (dir / "target").string();
    rt::Ref<rt::Error> error;
    EXPECT_FALSE(fnd::writeFileAtomically(path, bytes("x"), &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), fnd::FileErrorDomain);
    EXPECT_NE(error->localizedDescription().find("target"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(dir / "target"));
    int entries = 0;
    for ([[maybe_unused]] auto& entry : fs::directory_iterator(dir)) ++entries;
    EXPECT_EQ(entries, 1) << "the temporary file is removed";

    rt::Ref<rt::Error> readError;
    EXPECT_FALSE(fnd::readFile((dir / "missing").string(), &readError));
    ASSERT_TRUE(readError);
}

TEST_F(Files, BoundedReadsTakeRegularFilesOnlyAndNeverBlock) {
    std::string path = (dir / "small").string();
    ASSERT_TRUE(fnd::writeFileAtomically(path, bytes("0123456789")));
    auto read = fnd::readRegularFile(path, 10);
    ASSERT_TRUE(read);
    EXPECT_EQ(text(*read), "0123456789") << "a file of exactly the bound is read";

    auto refused = [](const std::string& p, std::size_t bound, const std::function<bool()>& stop = {}) {
        rt::Ref<rt::Error> error;
        EXPECT_FALSE(fnd::readRegularFile(p, bound, &error, stop)) << p;
        if (!error) return -1LL;
        EXPECT_EQ(error->domain(), fnd::FileErrorDomain);
        EXPECT_NE(error->localizedDescription().find(p), std::string::npos) << error->localizedDescription();
        return error->code();
    };
    EXPECT_EQ(refused(path, 9), EFBIG);
    EXPECT_EQ(refused("/dev/zero", 1 << 20), EINVAL) << "a device would be read for ever";
    EXPECT_EQ(refused(dir.string(), 1 << 20), EISDIR);
    EXPECT_EQ(refused((dir / "missing").string(), 1 << 20), ENOENT);
    std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(refused(fifo, 1 << 20), EINVAL) << "a pipe without a writer is refused, not waited on";
    // A stop asked for ends the read.
    EXPECT_EQ(refused(path, 10, [] { return true; }), ECANCELED);
}

TEST_F(Files, LibraryIsTheApplicationsXdgDataDirectory) {
    const char* saved = std::getenv("XDG_DATA_HOME");
    std::string savedValue = saved ? saved : "";
    const char* home = std::getenv("HOME");
    std::string savedHome = home ? home : "";
    fnd::Directories::setApplicationName("player-host");
    ::setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(fnd::Directories::library(), "/data/home/player-host");
    ::setenv("XDG_DATA_HOME", "relative/not/allowed", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(fnd::Directories::library(), "/home/someone/.local/share/player-host");
    if (saved) ::setenv("XDG_DATA_HOME", savedValue.c_str(), 1);
    else ::unsetenv("XDG_DATA_HOME");
    if (home) ::setenv("HOME", savedHome.c_str(), 1);
    else ::unsetenv("HOME");
    fnd::Directories::setApplicationName("");
}

}  // namespace
