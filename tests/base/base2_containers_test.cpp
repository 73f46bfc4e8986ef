#include "base/tarray.h"
#include "base/tdictionary.h"
#include "base/thashtable.h"
#include "base/tlinkedlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <type_traits>
#include <vector>

using namespace Calvereth;

namespace {

// The elements in iteration order, or walked backwards from the last.
template <class T>
std::vector<T> contents(const TContainer<T>& c, bool backwards = false)
{
    std::vector<T> out;
    TIterator<T>* it = c.newIterator();
    if (backwards)
        it->last();
    while (!it->done())
        out.push_back(backwards ? it->previous() : it->next());
    delete it;
    return out;
}

// Equal by key, ordered by key; the tag shows which of several equal elements is where.
struct Keyed
{
    int key = 0;
    int tag = 0;
    bool operator==(const Keyed& o) const { return key == o.key; }
    bool operator<(const Keyed& o) const { return key < o.key; }
};

// Removes the first element equal to `v` from the model; answers whether there was one.
template <class M, class V>
bool eraseFirst(M& model, const V& v)
{
    auto it = std::find(model.begin(), model.end(), v);
    return it != model.end() && (model.erase(it), true);
}

template <class C>
C make(int32_t delta)
{
    if constexpr (std::is_same_v<C, TArray<int>>)
        return C(0, delta);
    else
        return C();
}

template <class L>
class Base2Sequences : public ::testing::Test
{};
using SequenceTypes = ::testing::Types<TArray<int>, TLinkedList<int>, TDLinkedList<int>>;
TYPED_TEST_SUITE(Base2Sequences, SequenceTypes);

} // namespace

TEST(Base2TArray, GrowthRulesAndRemovingAtAnIterator)
{
    TArray<int> fixed(2, 0); // delta 0: never grows
    EXPECT_TRUE(fixed.add(1));
    EXPECT_TRUE(fixed.add(2));
    EXPECT_FALSE(fixed.add(3));
    TArray<int> doubling(0, -1);
    std::vector<int32_t> capacities;
    for (int i = 0; i < 41; ++i) {
        doubling.add(i);
        if (capacities.empty() || capacities.back() != doubling.capacity())
            capacities.push_back(doubling.capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int32_t>{10, 20, 40, 80}));
    TContainer<int>* fresh = doubling.newInstance(); // a fresh array grows by 10
    for (int i = 0; i < 21; ++i)
        fresh->add(i);
    EXPECT_EQ(fresh->capacity(), 30);
    delete fresh;

    // Removing at an iterator takes the first equal element and keeps the iterator valid.
    TArray<Keyed> a;
    a.add({1, 0});
    a.add({2, 0});
    a.add({1, 1});
    TIterator<Keyed>* it = a.newIterator();
    it->next();
    it->next();
    EXPECT_EQ(it->current().tag, 1);
    EXPECT_TRUE(a.removeAtIterator(*it));
    ASSERT_EQ(a.count(), 2);
    EXPECT_EQ(a.at(0).key, 2);
    EXPECT_EQ(a.at(1).tag, 1);
    EXPECT_EQ(it->current().tag, 1); // still on its own element
    EXPECT_TRUE(a.removeAtIterator(*it));
    EXPECT_TRUE(it->done());
    delete it;
}

// Every slot holds exactly one reference: removal, growth, resizing and replacement release the
// right ones (a slot left behind by a move holds the null element).
TEST(Base2Containers, OwningElementsHoldOneReferencePerSlot)
{
    auto a = std::make_shared<int>(1), b = std::make_shared<int>(2), c = std::make_shared<int>(3);
    {
        TArray<std::shared_ptr<int>> array(0, -1);
        array.add(a);
        array.add(b);
        array.add(c);
        EXPECT_TRUE(array.removeAt(0));
        EXPECT_EQ(a.use_count(), 1);
        EXPECT_EQ(c.use_count(), 2);
        EXPECT_EQ(array.at(2), nullptr);
        EXPECT_TRUE(array.contains(c));
        EXPECT_TRUE(array.resize(1));
        EXPECT_EQ(c.use_count(), 1);
        for (int i = 0; i < 50; ++i)
            array.add(a); // growth copies, then drops the old storage
        EXPECT_EQ(a.use_count(), 51);
        array.removeAll();
        EXPECT_EQ(a.use_count(), 1);
        array.add(b);

        TLinkedList<std::shared_ptr<int>> list;
        for (auto& p : {a, b, c})
            list.add(p);
        std::shared_ptr<int> first = list.takeFirst();
        EXPECT_EQ(a.use_count(), 2); // the taken copy keeps its reference
        list.removeAt(1);
        EXPECT_EQ(c.use_count(), 1);
        TDictionary<int32, std::shared_ptr<int>> byId;
        byId.insert(2, c);
        EXPECT_TRUE(byId.replace(2, a));
        EXPECT_EQ(c.use_count(), 1);
    }
    EXPECT_EQ(a.use_count(), 1);
    EXPECT_EQ(b.use_count(), 1);
    EXPECT_EQ(c.use_count(), 1);
}

TEST(Base2TOrderedArray, RandomInsertionsStaySortedAndStable)
{
    std::mt19937 rng(99);
    TOrderedArray<Keyed> a(0, -1);
    std::vector<Keyed> model;
    for (int step = 0; step < 3000; ++step) {
        const Keyed k{static_cast<int>(rng() % 50), step};
        if (rng() % 4 == 0 && !model.empty()) {
            EXPECT_EQ(a.remove(k), eraseFirst(model, k));
        } else {
            a.add(k);
            model.insert(std::upper_bound(model.begin(), model.end(), k), k);
        }
    }
    std::vector<Keyed> got = contents<Keyed>(a);
    ASSERT_EQ(got.size(), model.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].key, model[i].key);
        EXPECT_EQ(got[i].tag, model[i].tag);
    }
    for (int key = 0; key < 50; ++key) {
        auto it = std::find(model.begin(), model.end(), Keyed{key, 0});
        EXPECT_EQ(a.indexOf(Keyed{key, 0}), it == model.end() ? -1 : static_cast<int32_t>(it - model.begin()));
        EXPECT_EQ(a.insertIndex(Keyed{key, 0}),
                  std::upper_bound(model.begin(), model.end(), Keyed{key, 0}) - model.begin());
    }
}

// Sequences: arrays of several growth deltas and both lists against a vector.
TYPED_TEST(Base2Sequences, RandomOperationsMatchAVectorAndRemovingWhileWalking)
{
    constexpr bool kArray = std::is_same_v<TypeParam, TArray<int>>;
    for (int32_t delta : {-1, 3, 10}) {
        std::mt19937 rng(1234 + delta);
        TypeParam c = make<TypeParam>(delta);
        c.setNullElement(-7);
        std::vector<int> model;
        for (int step = 0; step < 4000; ++step) {
            const int v = rng() % 20;
            const int32_t index = static_cast<int32_t>(rng() % (model.size() + 3)) - 1;
            const bool inRange = index >= 0 && index < static_cast<int32_t>(model.size());
            switch (rng() % 9) {
            default: // three in nine
                EXPECT_TRUE(c.add(v));
                model.push_back(v);
                break;
            case 3:
                EXPECT_EQ(c.removeAt(index), inRange);
                if (inRange)
                    model.erase(model.begin() + index);
                break;
            case 4:
                EXPECT_EQ(c.remove(v), eraseFirst(model, v));
                break;
            case 5:
                EXPECT_EQ(c.at(index), inRange ? model[index] : -7);
                EXPECT_EQ(c.occurrences(v), std::count(model.begin(), model.end(), v));
                EXPECT_EQ(c.contains(v), std::count(model.begin(), model.end(), v) > 0);
                break;
            case 6:
                if (rng() % 20 == 0) {
                    const int32_t cap = c.capacity();
                    c.removeAll();
                    model.clear();
                    if constexpr (kArray) {
                        EXPECT_EQ(c.capacity(), cap);
                    }
                }
                break;
            case 7:
                if constexpr (kArray) {
                    const bool ok = index >= 0 && index <= static_cast<int32_t>(model.size());
                    EXPECT_EQ(c.insertAt(index, v), ok);
                    if (ok)
                        model.insert(model.begin() + index, v);
                } else if (rng() % 2) {
                    EXPECT_EQ(c.takeFirst(), model.empty() ? -7 : model.front());
                    if (!model.empty())
                        model.erase(model.begin());
                } else {
                    EXPECT_EQ(c.takeLast(), model.empty() ? -7 : model.back());
                    if (!model.empty())
                        model.pop_back();
                }
                break;
            case 8:
                if constexpr (kArray) {
                    if (rng() % 10 == 0) {
                        const int32_t n = static_cast<int32_t>(rng() % (model.size() + 5));
                        EXPECT_TRUE(c.resize(n));
                        if (static_cast<int32_t>(model.size()) > n)
                            model.resize(n);
                        EXPECT_EQ(c.capacity(), n);
                    }
                }
                break;
            }
            ASSERT_EQ(c.count(), static_cast<int32_t>(model.size()));
            ASSERT_EQ(c.isEmpty(), model.empty());
        }
        EXPECT_EQ(contents<int>(c), model);
        EXPECT_EQ(contents<int>(c, true), std::vector<int>(model.rbegin(), model.rend()));
        TypeParam copy(c);
        EXPECT_EQ(contents<int>(copy), model);
    }

    // Removing while walking never leaves the iterator on a removed element.
    TypeParam c = make<TypeParam>(10);
    for (int i = 0; i < 20; ++i)
        c.add(i % 5);
    TIterator<int>* it = c.newIterator();
    std::vector<int> visited;
    while (!it->done()) {
        const int v = it->current();
        visited.push_back(v);
        if (v % 2 == 0)
            EXPECT_TRUE(c.removeAtIterator(*it)); // moves the iterator on
        else
            it->next();
    }
    delete it;
    EXPECT_EQ(visited.size(), 20u);
    EXPECT_EQ(contents<int>(c), (std::vector<int>{1, 3, 1, 3, 1, 3, 1, 3}));
}

namespace {

template <class L>
class Base2Lists : public ::testing::Test
{};
using ListTypes = ::testing::Types<TLinkedList<Keyed>, TDLinkedList<Keyed>>;
TYPED_TEST_SUITE(Base2Lists, ListTypes);

} // namespace

// Removing at an iterator takes the first equal element: the iterator moves on only from a node of its
// own that was removed, and an iterator of another list never moves. A copy keeps the null element.
TYPED_TEST(Base2Lists, RemovingAtAnIteratorMovesOnlyItsOwnIteratorOffTheRemovedNode)
{
    TypeParam list;
    list.setNullElement({-1, -1});
    for (int i = 0; i < 4; ++i)
        list.add({i % 2, i}); // keys 0 1 0 1, tags 0 1 2 3
    TIterator<Keyed>* it = list.newIterator();
    it->next();
    it->next();
    EXPECT_TRUE(list.removeAtIterator(*it)); // the equal element before it
    EXPECT_EQ(it->current().tag, 2);
    TypeParam copy(list);
    TIterator<Keyed>* foreign = copy.newIterator();
    EXPECT_TRUE(list.removeAtIterator(*foreign)); // {1, 1} of this list
    EXPECT_EQ(foreign->current().tag, 1);
    EXPECT_TRUE(list.removeAtIterator(*it)); // its own node: it moves on
    EXPECT_EQ(it->current().tag, 3);
    EXPECT_EQ(it->previous().tag, 3); // the head: done after it
    EXPECT_TRUE(it->done());
    EXPECT_EQ(it->next().tag, -1);
    EXPECT_EQ(list.count(), 1);
    EXPECT_EQ(list.at(0).tag, 3);
    EXPECT_EQ(copy.count(), 3);
    EXPECT_EQ(copy.at(3).tag, -1);
    delete it;
    delete foreign;

    TContainer<Keyed>* fresh = list.newInstance();
    EXPECT_NE(dynamic_cast<TypeParam*>(fresh), nullptr);
    EXPECT_TRUE(fresh->isEmpty());
    delete fresh;
}

TEST(Base2TDictionary, AddSkipsTheKeyCheckEqualityIsByKeysInOrderAndHashBucketsAreUnsigned)
{
    TDictionary<int, int> d;
    d.setNullAssociation(0, -1);
    EXPECT_TRUE(d.insert(2, 20));
    EXPECT_TRUE(d.add(2, 21)); // add does not look for the key
    EXPECT_EQ(d.count(), 2);
    EXPECT_EQ(d.find(2), 20);
    EXPECT_EQ(d.lookup(3).value, -1);

    TDictionary<int, int> e, f, g;
    e.add(1, 1), e.add(2, 2);
    f.add(1, 5), f.add(2, 6);
    g.add(2, 1), g.add(1, 1);
    EXPECT_TRUE(e == f);
    EXPECT_FALSE(e == g);
    TArray<TDictionary<int, int>> array;
    array.add(e);
    array.add(g);
    EXPECT_EQ(array.indexOf(f), 0);
    TArray<TDictionary<int, int>> copy(array);
    EXPECT_EQ(copy.at(1).find(2), 1);

    // An identifier map with ten buckets takes the unsigned remainder.
    THashDictionary<uint32_t, int32_t> map(hashAssociationByKey<uint32_t, int32_t>, 10);
    map.setNullAssociation(0, -1);
    EXPECT_TRUE(map.add(13, 1));
    EXPECT_TRUE(map.add(3, 2));
    EXPECT_TRUE(map.add(0xFFFFFFFFu, 3)); // the unsigned remainder: bucket 5
    EXPECT_EQ(map.find(23), -1);
    EXPECT_EQ(map.find(0xFFFFFFFFu), 3);
    auto all = contents<TAssociation<uint32_t, int32_t>>(map);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].key, 13u);
    EXPECT_EQ(all[1].key, 3u);
    EXPECT_EQ(all[2].key, 0xFFFFFFFFu);
    THashTable<int> unusable; // no hash function
    EXPECT_FALSE(unusable.add(1));
    EXPECT_FALSE(unusable.remove(1));
    EXPECT_EQ(unusable.lookup(1), 0);
}

namespace {

// Random inserts, replacements, removals and finds, each checked against a model kept in insertion
// order (a replaced key moves to the end); answers the model.
template <class D>
std::vector<std::pair<int, int>> runAgainstModel(D& d)
{
    std::mt19937 rng(3);
    d.setNullAssociation(0, -1);
    std::vector<std::pair<int, int>> model;
    auto findKey = [&](int k) {
        return std::find_if(model.begin(), model.end(), [&](auto& p) { return p.first == k; });
    };
    for (int step = 0; step < 3000; ++step) {
        const int k = rng() % 30, v = rng() % 1000;
        switch (rng() % 4) {
        case 0:
            EXPECT_EQ(d.insert(k, v), findKey(k) == model.end());
            if (findKey(k) == model.end())
                model.emplace_back(k, v);
            break;
        case 1: {
            auto it = findKey(k);
            EXPECT_EQ(d.replace(k, v), it != model.end());
            if (it != model.end()) {
                model.erase(it);
                model.emplace_back(k, v);
            }
            break;
        }
        case 2: {
            auto it = findKey(k);
            EXPECT_EQ(d.remove(k), it != model.end());
            if (it != model.end())
                model.erase(it);
            break;
        }
        case 3: {
            auto it = findKey(k);
            EXPECT_EQ(d.find(k), it == model.end() ? -1 : it->second);
            break;
        }
        }
    }
    return model;
}

template <class D>
void expectContents(const D& d, const std::vector<std::pair<int, int>>& model)
{
    auto all = contents<TAssociation<int, int>>(d);
    ASSERT_EQ(all.size(), model.size());
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].key, model[i].first);
        EXPECT_EQ(all[i].value, model[i].second);
    }
}

} // namespace

TEST(Base2TDictionary, RandomOperationsMatchAModel)
{
    TDictionary<int, int> d;
    expectContents(d, runAgainstModel(d));
    TContainer<TAssociation<int, int>>* fresh = d.newInstance();
    EXPECT_NE((dynamic_cast<TDictionary<int, int>*>(fresh)), nullptr);
    EXPECT_TRUE(fresh->isEmpty());
    delete fresh;
}

// The same operations on the hash dictionary; it iterates bucket by bucket, each in insertion order.
TEST(Base2THashDictionary, RandomOperationsMatchAModel)
{
    THashDictionary<int, int> d(hashAssociationByKey<int, int>, 10);
    std::vector<std::pair<int, int>> model = runAgainstModel(d);
    std::stable_sort(model.begin(), model.end(), [](auto& a, auto& b) { return a.first % 10 < b.first % 10; });
    expectContents(d, model);
    auto* fresh = dynamic_cast<THashDictionary<int, int>*>(d.newInstance());
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->getHashFunction(), d.getHashFunction());
    EXPECT_TRUE(fresh->isEmpty());
    delete fresh;
}

TEST(Base2THashTable, RandomOperationsMatchAModelAndIterateInBucketOrder)
{
    auto hash = [](const int& v, int32_t n) {
        return static_cast<int32_t>(static_cast<uint32_t>(v) % static_cast<uint32_t>(n));
    };
    std::mt19937 rng(11);
    THashTable<int> table(hash, 7);
    table.setNullElement(-1);
    std::vector<std::vector<int>> model(7); // chains in insertion order
    auto flat = [&] {
        std::vector<int> out;
        for (auto& chain : model)
            out.insert(out.end(), chain.begin(), chain.end());
        return out;
    };
    for (int step = 0; step < 4000; ++step) {
        const int v = rng() % 40;
        auto& chain = model[v % 7];
        switch (rng() % 5) {
        default: // two in five
            EXPECT_TRUE(table.add(v));
            chain.push_back(v);
            break;
        case 2:
            EXPECT_EQ(table.remove(v), eraseFirst(chain, v));
            break;
        case 3: {
            std::vector<int> all = flat();
            const int32_t index = static_cast<int32_t>(rng() % (all.size() + 2)) - 1;
            const bool ok = index >= 0 && index < static_cast<int32_t>(all.size());
            EXPECT_EQ(table.removeAt(index), ok);
            if (ok) {
                int32_t rest = index;
                for (auto& c : model) {
                    if (rest < static_cast<int32_t>(c.size())) {
                        c.erase(c.begin() + rest);
                        break;
                    }
                    rest -= static_cast<int32_t>(c.size());
                }
            }
            break;
        }
        case 4: {
            std::vector<int> all = flat();
            EXPECT_EQ(table.occurrences(v), std::count(all.begin(), all.end(), v));
            EXPECT_EQ(table.contains(v), std::count(chain.begin(), chain.end(), v) > 0);
            EXPECT_EQ(table.lookup(v), std::count(chain.begin(), chain.end(), v) ? v : -1);
            const int32_t index = static_cast<int32_t>(rng() % (all.size() + 1));
            EXPECT_EQ(table.at(index), index < static_cast<int32_t>(all.size()) ? all[index] : -1);
            break;
        }
        }
        ASSERT_EQ(table.count(), static_cast<int32_t>(flat().size()));
    }
    const std::vector<int> all = flat();
    EXPECT_EQ(contents<int>(table), all);
    EXPECT_EQ(contents<int>(table, true), std::vector<int>(all.rbegin(), all.rend()));

    // Removing while walking.
    TIterator<int>* it = table.newIterator();
    while (!it->done()) {
        if (it->current() % 3 == 0) {
            // Equal elements before it are gone already, so this removes the iterator's own node.
            table.removeAtIterator(*it);
        } else {
            it->next();
        }
    }
    delete it;
    for (int v : contents<int>(table))
        EXPECT_NE(v % 3, 0);
}
