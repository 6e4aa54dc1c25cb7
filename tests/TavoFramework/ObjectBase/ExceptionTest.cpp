#include "ObjectBase/Exception.h"
#include "ObjectBase/TypeName.h"
#include "tests/Common/ThrownText.h"

#include <gtest/gtest.h>

namespace Tavo {
struct PlainRecord
{
};
struct SizedRecord
{
};
enum class Colour { Red };
template <class A, class B>
class Pairing
{
};
template <class A, int N, int M>
class Sized
{
};
}  // namespace Tavo

TAVO_STRUCT_TYPE_NAME(Tavo::PlainRecord);
TAVO_STRUCT_TYPE_NAME(Tavo::SizedRecord);

namespace {

using namespace Tavo;

TEST(ExceptionTest, EveryKindComposesTheSameForm)
{
    auto text = [](auto kind) {
        return ThrownText([] { TAVO_THROW(decltype(kind), "Detail", "Tavo::F", "A\\B", 7); });
    };
    EXPECT_EQ(text(std::logic_error("")), "Logic Error : Detail : Tavo::F : A\\B : Line 7");
    EXPECT_EQ(text(std::runtime_error("")), "Runtime Error : Detail : Tavo::F : A\\B : Line 7");
    EXPECT_EQ(text(std::out_of_range("")), "Out of Range : Detail : Tavo::F : A\\B : Line 7");
    EXPECT_EQ(text(std::domain_error("")), "Domain Error : Detail : Tavo::F : A\\B : Line 7");
    EXPECT_EQ(text(std::invalid_argument("")), "Invalid Argument : Detail : Tavo::F : A\\B : Line 7");
    // No detail: exactly one separator between kind and function.
    EXPECT_EQ(ThrownText([] { TAVO_THROW(std::runtime_error, "", "Tavo::F", "A\\B", 7); }),
              "Runtime Error : Tavo::F : A\\B : Line 7");
}

TEST(ExceptionTest, FailedResultsThrowOnlyWhenNegative)
{
    auto text = [](TavoResult r) {
        return ThrownText<FailedResultException>(
            [r] { ThrowIfFailed(r, "LUpdateProcessor::Initialize", "E\\U", 53); });
    };
    EXPECT_EQ(text(E_ABORT),
              "Failed Result : TAVORESULT = 80004004 : LUpdateProcessor::Initialize : E\\U : Line 53");
    EXPECT_EQ(text(S_OK), "nothing thrown");
    EXPECT_EQ(text(S_FALSE), "nothing thrown");
    EXPECT_EQ(FormatResultCode(E_FAIL), "TAVORESULT = 80004005");
    EXPECT_EQ(FormatResultCode(0x123), "TAVORESULT = 123");
}

TEST(ExceptionTest, CopiesKeepTheTextAndCatchByStandardBase)
{
    Exception<std::out_of_range> original("Out of Range : x : Line 1");
    EXPECT_EQ(ThrownText<std::logic_error>([&] { throw Exception<std::out_of_range>(original); }),
              "Out of Range : x : Line 1");
    EXPECT_STREQ(static_cast<const ExceptionBase&>(original).What(), "Out of Range : x : Line 1");
    Exception<std::bad_alloc> alloc("ignored");
    EXPECT_STREQ(alloc.What(), "bad allocation");
}

TEST(TypeNameTest, SpellsTypesTheMessageWay)
{
    EXPECT_EQ(TypeName<int>(), "int");
    EXPECT_EQ((TypeName<Pairing<int, PlainRecord>>()), "class Tavo::Pairing<int,struct Tavo::PlainRecord>");
    EXPECT_EQ((TypeName<Pairing<Colour, Pairing<int, int>*>>()),
              "class Tavo::Pairing<enum Tavo::Colour,class Tavo::Pairing<int,int> *>");
    EXPECT_EQ((TypeName<Sized<Pairing<char16_t, char>, 1, 0>>()),
              "class Tavo::Sized<class Tavo::Pairing<wchar_t,char>,1,0>");
    // A struct first named inside a sized template still gets its keyword.
    EXPECT_EQ((TypeName<Sized<SizedRecord, 256, 256>>()),
              "class Tavo::Sized<struct Tavo::SizedRecord,256,256>");
    EXPECT_EQ(TypeName<const char*>(), "char const *");
    EXPECT_EQ(DecorateTypeName("Tavo::LBufferT<1u, 128u, 8u, char*, &Tavo::GetSystemAllocator>"),
              "class Tavo::LBufferT<1,128,8,char *,Tavo::GetSystemAllocator>");
    EXPECT_EQ(DecorateTypeName("(anonymous namespace)::Probe"), "class (anonymous namespace)::Probe");
    EXPECT_EQ(DecorateTypeName("Tavo::X<-3, true>::Inner"), "class Tavo::X<-3,true>::Inner");
    // Malformed input must not hang or crash.
    EXPECT_FALSE(DecorateTypeName("Tavo::X<int, ").empty());
    EXPECT_FALSE(DecorateTypeName("void (*)(int)").empty());
}

}  // namespace
