// The data generation's parameter bindings over its fixed 100-byte buffer, from parameter
// descriptions a provider might give.

#include "support/OleDbFixture.h"

#include "core/Text.h"
#include "oledb/InsertParameters.h"
#include "oledb/OLEDBCommunicator.h"

#include <vector>

namespace {

DBPARAMINFO parameter(DBTYPE type, DBLENGTH size) {
    DBPARAMINFO info{};
    info.wType = type;
    info.ulParamSize = size;
    info.bPrecision = type == DBTYPE_I4 ? 10 : 0;
    return info;
}

} // namespace

class InsertParametersTest : public TOleDbTest {
protected:
    // Binds; answers whether the description was taken.
    bool bind(const std::vector<DBPARAMINFO>& info) {
        try {
            bindInsertParameters(info.size(), info.data(), bindings);
            return true;
        } catch (const EResultException&) {
            return false;
        }
    }
    std::array<DBBINDING, maxInsertParameters> bindings{};
};

TEST_F(InsertParametersTest, TheSchemasOwnParametersAreBoundAtTheirOffsets) {
    ASSERT_TRUE(bind({parameter(DBTYPE_I4, 4), parameter(DBTYPE_I4, 4), parameter(DBTYPE_I4, 4),
                      parameter(DBTYPE_STR, 87)}));
    for (DBORDINAL i = 0; i < 4; ++i) {
        EXPECT_EQ(bindings[i].iOrdinal, i + 1);
        EXPECT_EQ(bindings[i].obValue, 4 * i);
        EXPECT_EQ(bindings[i].obLength, 0u);
        EXPECT_EQ(bindings[i].obStatus, 0u);
        EXPECT_EQ(bindings[i].dwPart, static_cast<DBPART>(DBPART_VALUE));
        EXPECT_EQ(bindings[i].eParamIO, static_cast<DBPARAMIO>(DBPARAMIO_INPUT));
        EXPECT_EQ(bindings[i].dwMemOwner, static_cast<DWORD>(DBMEMOWNER_CLIENTOWNED));
    }
    EXPECT_EQ(bindings[0].bPrecision, 10);
    EXPECT_EQ(bindings[3].wType, DBTYPE_STR);
    EXPECT_EQ(bindings[3].cbMaxLen, 87u);
    // branches: the 91-character text at offset 8 with its NUL fills the buffer exactly.
    EXPECT_TRUE(
        bind({parameter(DBTYPE_I4, 4), parameter(DBTYPE_I4, 4), parameter(DBTYPE_STR, 92)}));
    EXPECT_TRUE(
        bind({parameter(DBTYPE_I2, 2), parameter(DBTYPE_UI4, 4), parameter(DBTYPE_WSTR, 90)}));
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(InsertParametersTest, DescriptionsTheBufferCannotHoldAreRefusedWithOneBoxEach) {
    // More parameters than the arrays hold.
    std::vector<DBPARAMINFO> seven(7, parameter(DBTYPE_I4, 4));
    EXPECT_FALSE(bind(seven));
    // A text that would run past the end of the buffer.
    EXPECT_FALSE(
        bind({parameter(DBTYPE_I4, 4), parameter(DBTYPE_I4, 4), parameter(DBTYPE_STR, 93)}));
    EXPECT_FALSE(bind({parameter(DBTYPE_I4, 4), parameter(DBTYPE_I4, 4), parameter(DBTYPE_I4, 4),
                       parameter(DBTYPE_STR, 89)}));
    // An unknown size.
    EXPECT_FALSE(bind({parameter(DBTYPE_I4, 4), parameter(DBTYPE_STR, ~DBLENGTH{0})}));
    // An integer wider than its 4-byte place.
    EXPECT_FALSE(
        bind({parameter(DBTYPE_I8, 8), parameter(DBTYPE_I4, 4), parameter(DBTYPE_STR, 20)}));
    // Values the provider would read through a pointer.
    EXPECT_FALSE(bind({parameter(DBTYPE_I4, 4), parameter(DBTYPE_BSTR, 8)}));
    EXPECT_FALSE(bind(
        {parameter(DBTYPE_I4, 4), parameter(static_cast<DBTYPE>(DBTYPE_STR | DBTYPE_BYREF), 8)}));

    ASSERT_EQ(boxes.count(), 7u);
    for (const TRecordedBox& box : boxes.boxes())
        EXPECT_EQ(box.caption, "OLE DB Error");
    // The bench's own refusals speak Czech, in Windows-1250 like every text of the bench.
    EXPECT_EQ(boxes.boxes()[0].text,
              utf8ToCp1250("Ovladač popisuje u příkazu INSERT 7 parametrů; navázat jich lze "
                           "nejvýše " +
                           std::to_string(maxInsertParameters) + "."));
    EXPECT_NE(boxes.boxes()[1].text.find(utf8ToCp1250("parametr 3 příkazu INSERT")),
              std::string::npos)
        << boxes.boxes()[1].text;
}
