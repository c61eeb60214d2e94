#include "ObjectsFixture.h"
#include "model/support/ArchiveWriter.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

#include <functional>

namespace vtl {
namespace {

using test::archiveOf;
using test::ArchiveWriter;
using test::ObjectsFixture;
using test::StandInTransition;

class ObjectArchive : public ObjectsFixture {
protected:
    template <typename T> std::shared_ptr<T> decode(const PlistBytes& bytes) {
        auto decoded = KeyedUnarchiver::unarchive<T>(bytes);
        EXPECT_TRUE(decoded.ok()) << decoded.error();
        return std::move(decoded).valueOr(nullptr);
    }
};

TEST_F(ObjectArchive, ADocumentKeepsMasksTransitionsAndFlags) {
    auto object = add(0, 10);
    auto mask = add(0, 10);
    auto into = add<StandInTransition>(0, 1);
    auto outOf = add<StandInTransition>(9, 10);
    object->setFromTransition(into);
    object->setToTransition(outOf);
    container()->establishMaskRelation(mask, object);
    object->setUsesGlobalShadow(true);
    object->setTimeCantManuallyBeSet(true);

    auto decoded = decode<CompositionObjectsContainer>(archiveOf(document.objectsContainer()));
    ASSERT_NE(decoded, nullptr);
    ASSERT_EQ(decoded->objects().size(), 4u);
    auto copy = std::dynamic_pointer_cast<CompositionRectangularObject>(decoded->objects()[0]);
    auto copiedMask = std::dynamic_pointer_cast<CompositionRectangularObject>(decoded->objects()[1]);
    ASSERT_TRUE(copy && copiedMask);
    EXPECT_EQ(copy->fromTransition(), decoded->objects()[2]);
    EXPECT_EQ(copy->toTransition(), decoded->objects()[3]);
    EXPECT_EQ(copy->maskObject(), copiedMask);
    EXPECT_EQ(copiedMask->maskForObject(), copy);
    EXPECT_EQ(copy->maskFilter(), "CIBlendWithAlphaMask") << "set up again for the decoded mask";
    EXPECT_TRUE(copy->usesGlobalShadow());
    EXPECT_TRUE(copy->timeCantManuallyBeSet());
    EXPECT_EQ(copy->rectForTime(0), object->rectForTime(0));
}

TEST_F(ObjectArchive, ACopyCarriesNoRelations) {
    auto object = add(0, 10);
    auto mask = add(0, 10);
    object->setFromTransition(add<StandInTransition>(0, 1));
    container()->establishMaskRelation(mask, object);
    object->setUsesGlobalShadow(true);
    object->setSerializationMode(SerializationMode::Copy);
    const PlistBytes bytes = archiveOf(object);
    object->setSerializationMode(SerializationMode::Full);
    const std::string text = test::describeArchive(bytes);
    for (const char* key : {"key_fromObjectTransition", "key_maskObjects", "key_maskForObjects"})
        EXPECT_EQ(text.find(key), std::string::npos) << key;
    auto copy = decode<CompositionRectangularObject>(bytes);
    ASSERT_NE(copy, nullptr);
    EXPECT_FALSE(copy->hasFromTransition());
    EXPECT_TRUE(copy->maskObjects().empty());
    EXPECT_TRUE(copy->maskForObjects().empty());
    EXPECT_TRUE(copy->usesGlobalShadow());
}

TEST_F(ObjectArchive, MissingKeysGiveTheDefaults) {
    auto writer = std::make_shared<ArchiveWriter>("CompositionRectangularObject", [](KeyedArchiver& coder) {
        coder.encodeDouble("startTime", 1);
        coder.encodeDouble("endTime", 4);
    });
    auto object = decode<CompositionRectangularObject>(archiveOf(writer));
    ASSERT_NE(object, nullptr);
    EXPECT_FALSE(object->usesGlobalShadow());
    EXPECT_FALSE(object->timeCantManuallyBeSet());
    EXPECT_FALSE(object->hasFromTransition() || object->hasToTransition());
    EXPECT_TRUE(object->maskObjects().empty() && object->maskForObjects().empty());
    EXPECT_TRUE(object->maskFilter().empty());
}

TEST_F(ObjectArchive, DamagedRelationsAreDroppedAndTheRestOpens) {
    auto other = add(0, 10);
    auto second = add(0, 10);
    struct Case {
        const char* what;
        std::function<void(KeyedArchiver&, const Archivable* self)> write;
    };
    const Case cases[] = {
        {"a mask set of two",
         [&](KeyedArchiver& coder, const Archivable*) {
             coder.encodeArray("key_maskObjects",
                               std::vector<std::shared_ptr<CompositionBaseObject>>{other, second});
         }},
        {"a masked set naming a chapter-less stranger",
         [&](KeyedArchiver& coder, const Archivable*) {
             coder.encodeObject("key_maskForObjects",
                                ArchivedValue(ArchivedArray{ArchivedValue("not an object")}));
         }},
        {"a transition link to a plain object",
         [&](KeyedArchiver& coder, const Archivable*) {
             coder.encodeObject("key_fromObjectTransition", ArchivedValue(other));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ArchiveWriter* raw = nullptr;
        auto writer =
            std::make_shared<ArchiveWriter>("CompositionRectangularObject", [&](KeyedArchiver& coder) {
                coder.encodeString("name", "Damaged");
                c.write(coder, raw);
            });
        raw = writer.get();
        auto object = decode<CompositionRectangularObject>(archiveOf(writer));
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->name(), "Damaged");
        EXPECT_FALSE(object->hasMask());
        EXPECT_FALSE(object->isAMask());
        EXPECT_FALSE(object->hasFromTransition());
    }

    // An object whose archive says it masks itself.
    auto self = add(0, 10);
    self->setMaskObject(self);
    self->setMaskForObject(self);
    auto decoded = decode<CompositionRectangularObject>(archiveOf(self));
    ASSERT_NE(decoded, nullptr);
    EXPECT_FALSE(decoded->hasMask());
    EXPECT_FALSE(decoded->isAMask());
}

} // namespace
} // namespace vtl
