// Additions that run out of memory leave lists and indices as they were.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "qel/audioeffect.h"
#include "qel/editcontroller.h"
#include "qel/programlist.h"

namespace {
// Counts down allocations; the one that reaches zero fails.
std::atomic<int> failIn{-1};
} // namespace

void* operator new(std::size_t n)
{
    int left = failIn.load();
    if (left >= 0 && failIn.fetch_sub(1) == 0)
        throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    try {
        return operator new(n);
    } catch (...) {
        return nullptr;
    }
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

using namespace Calvereth;
using namespace Calvereth::Qel;

struct FailGuard
{
    ~FailGuard() { failIn = -1; }
};

TEST(QelAllocationFailure, ParameterAddLeavesTheContainerConsistent)
{
    FailGuard guard;
    ParameterContainer pc;
    IPtr<Parameter> p(new Parameter(u"A", 4), false);
    // The list's first allocation fails, then the id index's: the handed-over reference is released
    // and nothing is recorded.
    for (int fail : {0, 0}) {
        p->addRef();
        failIn = fail;
        EXPECT_EQ(pc.addParameter(p.get()), nullptr);
        failIn = -1;
        EXPECT_EQ(p->getRefCount(), 1);
        EXPECT_EQ(pc.getParameter(4), nullptr);
        ASSERT_NE(pc.addParameter(u"B", nullptr, 0, 0, pc.getParameterCount()), nullptr);
    }
    // Later additions index correctly.
    p->addRef();
    EXPECT_EQ(pc.addParameter(p.get()), p.get());
    EXPECT_EQ(pc.getParameter(4), p.get());
    EXPECT_EQ(pc.getParameterByIndex(2), p.get());
}

TEST(QelAllocationFailure, BusAddFailsCleanly)
{
    FailGuard guard;
    struct Effect : AudioEffect
    {
        using AudioEffect::addAudioInput;
    } e;
    ASSERT_NE(e.addAudioInput(u"In", kStereo), nullptr);
    // The bus object is made, the list cannot grow.
    failIn = 1;
    EXPECT_EQ(e.addAudioInput(u"In 2", kStereo), nullptr);
    failIn = -1;
    EXPECT_EQ(e.getBusCount(kAudio, kInput), 1);
}

// Every allocation of an addition fails in turn, also when the arrays must grow: a failed addition
// leaves the list as it was, and every counted program has its name, attributes and pitch names.
TEST(QelAllocationFailure, AddProgramLeavesTheListAsItWas)
{
    FailGuard guard;
    IPtr<ProgramListWithPitchNames> list(new ProgramListWithPitchNames(u"L", 1, 0), false);
    std::vector<std::u16string> added;
    for (int round = 0; round < 60; ++round) {
        const std::u16string name(1, static_cast<char16_t>(u'A' + round));
        failIn = round % 6;
        const int32_t index = list->addProgram(name.c_str());
        failIn = -1;
        EXPECT_EQ(index, index < 0 ? -1 : static_cast<int32_t>(added.size()));
        if (index >= 0)
            added.push_back(name);
        EXPECT_EQ(list->getCount(), static_cast<int32_t>(added.size()));
    }
    EXPECT_LT(added.size(), 50u);
    char16_t name[128];
    for (int32_t i = 0; i < list->getCount(); ++i) {
        EXPECT_EQ(list->getProgramName(i, name), kResultOk);
        EXPECT_EQ(std::u16string(name), added[i]);
        EXPECT_TRUE(list->setProgramInfo(i, "a", u"b"));
        EXPECT_TRUE(list->setPitchName(i, 1, u"c"));
    }
    EXPECT_EQ(list->getProgramName(list->getCount(), name), kResultFalse);
}

} // namespace
