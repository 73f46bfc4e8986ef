// Chained hash table and hash dictionary of the base library.
#pragma once

#include "base/tdictionary.h"

#include <new>

namespace Calvereth {

template <class T>
class THashTable;

template <class T>
class THashTableIterator : public TIterator<T>
{
public:
    explicit THashTableIterator(const THashTable<T>* t) : table(t) { first(); }
    bool done() override { return node == nullptr; }
    T& next() override
    {
        if (!node)
            return table->nullRef();
        T& e = node->element;
        if (node->next) {
            node = node->next;
        } else {
            node = nullptr;
            for (int32_t b = bucket + 1; b < table->size; ++b)
                if (table->buckets[b].first) {
                    bucket = b;
                    node = table->buckets[b].first;
                    break;
                }
        }
        return e;
    }
    T& previous() override
    {
        if (!node)
            return table->nullRef();
        T& e = node->element;
        auto* before = static_cast<typename THashTable<T>::Node*>(nullptr);
        for (auto* n = table->buckets[bucket].first; n && n != node; n = n->next)
            before = n;
        node = before;
        if (!node) {
            for (int32_t b = bucket - 1; b >= 0; --b)
                if (table->buckets[b].last) {
                    bucket = b;
                    node = table->buckets[b].last;
                    break;
                }
        }
        return e;
    }
    T& current() override { return node ? node->element : table->nullRef(); }
    void first() override
    {
        node = nullptr;
        bucket = 0;
        for (int32_t b = 0; b < table->size; ++b)
            if (table->buckets[b].first) {
                bucket = b;
                node = table->buckets[b].first;
                return;
            }
    }
    void last() override
    {
        node = nullptr;
        bucket = 0;
        for (int32_t b = table->size - 1; b >= 0; --b)
            if (table->buckets[b].last) {
                bucket = b;
                node = table->buckets[b].last;
                return;
            }
    }

private:
    friend class THashTable<T>;
    const THashTable<T>* table;
    int32_t bucket = 0;
    typename THashTable<T>::Node* node = nullptr;
};

template <class T>
class THashTable : public TContainer<T>
{
public:
    // Answers the bucket of an element, in 0 .. bucketCount - 1.
    using HashFunction = int32_t (*)(const T& element, int32_t bucketCount);
    struct Node
    {
        Node* next;
        T element;
    };
    struct Bucket
    {
        int32_t count = 0;
        Node* first = nullptr;
        Node* last = nullptr;
    };

    explicit THashTable(HashFunction hash = nullptr, int32_t bucketCount = 10) : hashFunction(hash)
    {
        // The hash is a remainder by the bucket count, which therefore is never 0.
        if (bucketCount < 1)
            bucketCount = 1;
        buckets = new (std::nothrow) Bucket[bucketCount];
        this->size = buckets ? bucketCount : 0;
    }
    ~THashTable() override
    {
        removeAll();
        delete[] buckets;
    }

    TContainer<T>* newInstance() const override { return new THashTable<T>(hashFunction, 10); }
    int32_t count() const override { return elementCount; }
    bool isEmpty() const override { return elementCount == 0; }
    int32_t capacity() const override { return this->size; }

    bool add(const T& element) override
    {
        const int32_t b = bucketOf(element);
        if (b < 0)
            return false;
        Node* n = new (std::nothrow) Node{nullptr, element};
        if (!n)
            return false;
        Bucket& bucket = buckets[b];
        if (bucket.last)
            bucket.last->next = n;
        else
            bucket.first = n;
        bucket.last = n;
        ++bucket.count;
        ++elementCount;
        return true;
    }

    bool remove(const T& element) override
    {
        const int32_t b = bucketOf(element);
        if (b < 0)
            return false;
        Node* n = findIn(b, element);
        return n && unlink(b, n);
    }

    bool removeAtIterator(TIterator<T>& iterator) override
    {
        const T element = iterator.current();
        const int32_t b = bucketOf(element);
        if (b < 0)
            return false;
        Node* target = findIn(b, element);
        if (!target)
            return false;
        auto* own = dynamic_cast<THashTableIterator<T>*>(&iterator);
        if (own && own->table == this && own->node == target)
            own->next();
        return unlink(b, target);
    }

    bool removeAt(int32_t index) override
    {
        if (elementCount == 0 || index < 0)
            return false;
        for (int32_t b = 0; b < this->size; ++b) {
            if (index >= buckets[b].count) {
                index -= buckets[b].count;
                continue;
            }
            Node* n = buckets[b].first;
            while (index-- > 0)
                n = n->next;
            return unlink(b, n);
        }
        return false;
    }

    void removeAll() override
    {
        for (int32_t b = 0; b < this->size; ++b) {
            Node* n = buckets[b].first;
            while (n) {
                Node* next = n->next;
                delete n;
                n = next;
            }
            buckets[b] = Bucket();
        }
        elementCount = 0;
    }

    T& lookup(const T& element) const override
    {
        const int32_t b = bucketOf(element);
        Node* n = b < 0 ? nullptr : findIn(b, element);
        return n ? n->element : this->nullRef();
    }
    bool contains(const T& element) const override
    {
        const int32_t b = bucketOf(element);
        return b >= 0 && findIn(b, element) != nullptr;
    }

    TIterator<T>* newIterator() const override { return new THashTableIterator<T>(this); }

    HashFunction getHashFunction() const { return hashFunction; }

protected:
    friend class THashTableIterator<T>;

    int32_t bucketOf(const T& element) const
    {
        if (!hashFunction || this->size < 1)
            return -1;
        const int32_t b = hashFunction(element, this->size);
        return b >= 0 && b < this->size ? b : -1; // a hash out of range finds and stores nothing
    }

    Node* findIn(int32_t b, const T& element) const
    {
        for (Node* n = buckets[b].first; n; n = n->next)
            if (TContainerTraits<T>::equal(n->element, element))
                return n;
        return nullptr;
    }

    bool unlink(int32_t b, Node* target)
    {
        Bucket& bucket = buckets[b];
        Node* before = nullptr;
        for (Node* n = bucket.first; n && n != target; n = n->next)
            before = n;
        if (before)
            before->next = target->next;
        else
            bucket.first = target->next;
        if (bucket.last == target)
            bucket.last = before;
        delete target;
        --bucket.count;
        --elementCount;
        return true;
    }

    HashFunction hashFunction;
    int32_t elementCount = 0;
    Bucket* buckets = nullptr;
};

// Bucket of an integer key: the key modulo the bucket count, as an unsigned remainder.
template <class K, class V>
int32_t hashAssociationByKey(const TAssociation<K, V>& a, int32_t bucketCount)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a.key) % static_cast<uint32_t>(bucketCount));
}

template <class K, class V>
class THashDictionary : public TAssociationMap<K, V, THashTable<TAssociation<K, V>>>
{
public:
    using Association = TAssociation<K, V>;
    using Base = THashTable<Association>;

    explicit THashDictionary(typename Base::HashFunction hash = nullptr, int32_t bucketCount = 10)
    : TAssociationMap<K, V, Base>(hash, bucketCount)
    {}

    TContainer<Association>* newInstance() const override { return new THashDictionary<K, V>(this->hashFunction, 10); }
};

} // namespace Calvereth
