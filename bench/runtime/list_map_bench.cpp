// TList and TMap against std::list and std::map on the same 100000 strings,
// measured side by side in one run. Each phase is timed on its own and the
// best of several runs is kept, since the machine is shared.
//
// Our containers hold references to existing string objects, the standard
// ones hold copies of the text: that is how each is used, so that is what
// is measured. Our times include the collections the allocations trigger,
// and the list's removal phase ends with a collection that frees the links.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "runtime/array.h"
#include "runtime/collector.h"
#include "runtime/list.h"
#include "runtime/map.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "runtime/win32.h"

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Best {
    double ms = 1e300;
    void Take(double t) { ms = std::min(ms, t); }
};

void Report(const char* name, const Best& ours, const Best& baseline) {
    std::printf("bench %s ours=%.3f baseline=%.3f ratio=%.2f\n", name, ours.ms, baseline.ms,
                baseline.ms / ours.ms);
    std::fflush(stdout);
}

std::u16string TextOf(String* s) { return std::u16string(s->Text(), s->Text() + s->length); }

// "word000000" ... in a shuffled order, as runtime strings in a "$" array.
Array* MakeWords(int n, unsigned seed) {
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i) order[i] = i;
    for (int i = n - 1; i > 0; --i) {
        seed = seed * 1664525u + 1013904223u;
        std::swap(order[i], order[(seed >> 8) % static_cast<unsigned>(i + 1)]);
    }
    Array* words = NewArray("$", n);
    char text[32];
    for (int i = 0; i < n; ++i) {
        std::snprintf(text, sizeof text, "word%06d", order[i]);
        words->SetObject(i, String::FromCString(text));
    }
    return words;
}

std::vector<std::u16string> TextsOf(Array* words) {
    std::vector<std::u16string> texts;
    for (int i = 0; i < words->Length(); ++i) texts.push_back(TextOf(words->StringAt(i)));
    return texts;
}

// Keeps the optimiser from dropping the loops.
volatile long long sink;

// Clears the stack below the caller. A stale word there pointing at one
// removed link would keep it and every link after it alive (a removed link
// keeps its succ), so that run's collection would free nothing.
__attribute__((noinline)) void ScrubStack() {
    char area[16384];
    std::memset(area, 0, sizeof area);
    asm volatile("" : : "r"(area) : "memory");
}

__attribute__((noinline)) double OurListAdd(TList* list, Array* words) {
    double t0 = Now();
    int n = words->Length();
    for (int i = 0; i < n; ++i) list->AddLast(words->StringAt(i));
    return Now() - t0;
}

__attribute__((noinline)) double OurListIterate(TList* list) {
    double t0 = Now();
    long long total = 0;
    for (Object* v : *list) total += static_cast<String*>(v)->length;
    sink = total;
    return Now() - t0;
}

// Includes the collection that frees the links.
__attribute__((noinline)) double OurListRemove(TList* list) {
    double t0 = Now();
    while (!list->IsEmpty()) list->RemoveFirst();
    ScrubStack();
    CollectMemory();
    return Now() - t0;
}

void BenchList(Array* words, int runs) {
    int n = words->Length();
    std::vector<std::u16string> texts = TextsOf(words);
    Best addOurs, iterOurs, removeOurs, addStd, iterStd, removeStd;
    for (int run = 0; run < runs; ++run) {
        TList* list = new TList;
        addOurs.Take(OurListAdd(list, words));
        iterOurs.Take(OurListIterate(list));
        removeOurs.Take(OurListRemove(list));

        double t0 = Now();
        std::list<std::u16string> baseline;
        for (int i = 0; i < n; ++i) baseline.push_back(texts[i]);
        double t1 = Now();
        long long total = 0;
        for (const std::u16string& s : baseline) total += static_cast<long long>(s.size());
        double t2 = Now();
        while (!baseline.empty()) baseline.pop_front();
        double t3 = Now();
        sink = total;
        addStd.Take(t1 - t0);
        iterStd.Take(t2 - t1);
        removeStd.Take(t3 - t2);
    }
    Report("list_add_strings", addOurs, addStd);
    Report("list_iterate_strings", iterOurs, iterStd);
    Report("list_remove_strings", removeOurs, removeStd);
}

void BenchMap(Array* keys, Array* probes, int runs) {
    int n = keys->Length();
    std::vector<std::u16string> keyTexts = TextsOf(keys);
    std::vector<std::u16string> probeTexts = TextsOf(probes);
    Best insertOurs, findOurs, insertStd, findStd;
    for (int run = 0; run < runs; ++run) {
        double t0 = Now();
        TMap* map = new TMap;
        for (int i = 0; i < n; ++i) map->Insert(keys->StringAt(i), keys->StringAt(i));
        double t1 = Now();
        long long found = 0;
        for (int i = 0; i < n; ++i) found += !IsNull(map->ValueForKey(probes->StringAt(i)));
        double t2 = Now();
        sink = found;
        insertOurs.Take(t1 - t0);
        findOurs.Take(t2 - t1);
        map->Clear();

        t0 = Now();
        std::map<std::u16string, int> baseline;
        for (int i = 0; i < n; ++i) baseline.emplace(keyTexts[i], i);
        t1 = Now();
        found = 0;
        for (int i = 0; i < n; ++i) found += baseline.find(probeTexts[i]) != baseline.end();
        t2 = Now();
        sink = found;
        insertStd.Take(t1 - t0);
        findStd.Take(t2 - t1);
        CollectMemory();
    }
    Report("map_insert_strings", insertOurs, insertStd);
    Report("map_find_strings", findOurs, findStd);
}

int RunBenchmarks() {
    StartListModule();
    StartMapModule();
    // Collecting before every allocation would make the numbers meaningless:
    // under stress the run only checks that everything still works.
    bool stress = CollectorMode() == kCollectEveryAllocation;
    int n = stress ? 2000 : 100000;
    int runs = stress ? 1 : 5;
    Array* words = MakeWords(n, 17);
    BenchList(words, runs);
    Array* probes = MakeWords(n, 91);  // the same texts, other objects, another order
    BenchMap(words, probes, runs);
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, RunBenchmarks); }
