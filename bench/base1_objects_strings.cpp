// Reference counting and the string operations the plug-in runs per parameter and per idle call.
#include <benchmark/benchmark.h>

#include "base/fobject.h"
#include "base/fstring.h"
#include "base/fixedstring16.h"

using namespace Calvereth;

namespace {
FObject* gShared = nullptr;
}

static void BM_AddRefRelease(benchmark::State& state)
{
    if (state.thread_index() == 0)
        gShared = new FObject;
    for (auto _ : state) {
        gShared->addRef();
        gShared->release();
    }
    if (state.thread_index() == 0) {
        gShared->release();
        gShared = nullptr;
    }
}
BENCHMARK(BM_AddRefRelease)->Threads(1)->Threads(4);

static void BM_PrintfWide(benchmark::State& state)
{
    String s;
    for (auto _ : state) {
        s.printf(u"%2.1f", -23.45);
        benchmark::DoNotOptimize(s.text16());
    }
}
BENCHMARK(BM_PrintfWide);

static void BM_PrintfNarrow(benchmark::State& state)
{
    String s("");
    for (auto _ : state) {
        s.printf("%2.1f", -23.45);
        benchmark::DoNotOptimize(s.text8());
    }
}
BENCHMARK(BM_PrintfNarrow);

static void BM_FixedPrintFloat(benchmark::State& state)
{
    char16 field[128];
    FixedString16 view(field, 128);
    for (auto _ : state) {
        view.printFloat(1, -23.45);
        benchmark::DoNotOptimize(field[0]);
    }
}
BENCHMARK(BM_FixedPrintFloat);

static void BM_NaturalCompare(benchmark::State& state)
{
    String a(u"Loudness Track 19 Take 7"), b(u"Loudness Track 19 Take 10");
    for (auto _ : state)
        benchmark::DoNotOptimize(a.naturalCompare(b, 1));
}
BENCHMARK(BM_NaturalCompare);

static void BM_WidenNarrow(benchmark::State& state)
{
    for (auto _ : state) {
        String s("Integrated loudness \x8E");
        s.toWideString(kCP_Default);
        s.toMultiByte(kCP_Utf8);
        benchmark::DoNotOptimize(s.text8());
    }
}
BENCHMARK(BM_WidenNarrow);
