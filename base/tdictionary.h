// Key-value pairs and the ordered dictionary (insertion order) of the base library.
#pragma once

#include "base/tlinkedlist.h"

namespace Calvereth {

// Two associations are equal when their keys are equal; the value takes no part.
template <class K, class V>
struct TAssociation
{
    K key{};
    V value{};

    TAssociation() = default;
    TAssociation(const K& k, const V& v) : key(k), value(v) {}
    bool operator==(const TAssociation& other) const { return TContainerTraits<K>::equal(key, other.key); }
    bool operator!=(const TAssociation& other) const { return !(*this == other); }
};

// The keyed operations of both dictionaries, over a container of associations (a list or a table).
template <class K, class V, class Associations>
class TAssociationMap : public Associations
{
public:
    using Association = TAssociation<K, V>;
    using Associations::add;
    using Associations::Associations;
    using Associations::contains;
    using Associations::lookup;
    using Associations::remove;

    // The value stored under key, or the null association's value.
    V& find(const K& key) const { return lookup(key).value; }
    // Appends (key, value) unless the key is present (false then, the stored value stays).
    bool insert(const K& key, const V& value)
    {
        if (contains(key))
            return false;
        return Associations::add(Association(key, value));
    }
    // Removes the key's association and appends the new one; false (nothing added) when absent.
    bool replace(const K& key, const V& value)
    {
        if (!remove(key))
            return false;
        return insert(key, value);
    }

    bool add(const K& key, const V& value) { return Associations::add(Association(key, value)); }
    bool contains(const K& key) const { return Associations::contains(probe(key)); }
    Association& lookup(const K& key) const { return Associations::lookup(probe(key)); }
    bool remove(const K& key) { return Associations::remove(probe(key)); }

    // The association that misses answer (for example {0, -1} for an index map).
    void setNullAssociation(const K& key, const V& value) { this->setNullElement(Association(key, value)); }

private:
    static Association probe(const K& key) { return Association(key, V{}); }
};

template <class K, class V>
class TDictionary : public TAssociationMap<K, V, TDLinkedList<TAssociation<K, V>>>
{
public:
    using Association = TAssociation<K, V>;
    using Base = TDLinkedList<Association>;

    TDictionary() = default;
    TDictionary(const TDictionary& other) : TAssociationMap<K, V, Base>() { *this = other; }
    // Empties this dictionary and appends every association of the other in order.
    TDictionary& operator=(const TDictionary& other)
    {
        if (this == &other)
            return *this;
        this->removeAll();
        this->addAll(other);
        return *this;
    }
    // Equal when both hold the same keys in the same order; values are not compared.
    bool operator==(const TDictionary& other) const
    {
        if (this->count() != other.count())
            return false;
        auto* a = this->head;
        auto* b = other.head;
        for (; a && b; a = a->next, b = b->next)
            if (!(a->element == b->element))
                return false;
        return true;
    }
    bool operator!=(const TDictionary& other) const { return !(*this == other); }

    TContainer<Association>* newInstance() const override { return new TDictionary<K, V>; }
};

} // namespace Calvereth
