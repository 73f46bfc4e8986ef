// Singly and doubly linked lists of the base library. Both are one implementation over their node
// type: a node with a previous pointer is linked both ways, one without is found by a walk from the head.
#pragma once

#include "base/tcontainer.h"

#include <new>

namespace Calvereth {

template <class T>
struct TLinkedListNode
{
    TLinkedListNode* next;
    T element;
};

template <class T>
struct TDLinkedListNode
{
    TDLinkedListNode* next;
    T element;
    TDLinkedListNode* previous;
};

template <class T, class Node>
class TNodeList;

template <class T, class Node>
class TNodeListIterator : public TIterator<T>
{
public:
    explicit TNodeListIterator(const TNodeList<T, Node>* l) : list(l), node(l->head) {}
    bool done() override { return node == nullptr; }
    T& next() override
    {
        if (!node)
            return list->nullRef();
        T& e = node->element;
        node = node->next;
        return e;
    }
    T& previous() override
    {
        if (!node)
            return list->nullRef();
        T& e = node->element;
        node = list->before(node);
        return e;
    }
    T& current() override { return node ? node->element : list->nullRef(); }
    void first() override { node = list->head; }
    void last() override { node = list->tail; }

private:
    friend class TNodeList<T, Node>;
    const TNodeList<T, Node>* list;
    Node* node;
};

template <class T, class Node>
class TNodeList : public TContainer<T>
{
public:
    ~TNodeList() override { removeAll(); }

    bool add(const T& element) override
    {
        Node* n;
        if constexpr (kLinkedBack)
            n = new (std::nothrow) Node{nullptr, element, tail};
        else
            n = new (std::nothrow) Node{nullptr, element};
        if (!n)
            return false;
        if (tail)
            tail->next = n;
        else
            head = n;
        tail = n;
        ++this->size;
        return true;
    }

    bool remove(const T& element) override
    {
        Node* n = findNode(element);
        return n && unlink(n);
    }

    bool removeAtIterator(TIterator<T>& iterator) override
    {
        Node* target = findNode(iterator.current());
        if (!target)
            return false;
        auto* own = dynamic_cast<TNodeListIterator<T, Node>*>(&iterator);
        // Never leave the iterator on a freed node: it moves on to the following one.
        if (own && own->list == this && own->node == target)
            own->node = target->next;
        return unlink(target);
    }

    bool removeAt(int32_t index) override
    {
        if (index < 0 || index >= this->size)
            return false;
        return unlink(nodeAt(index));
    }

    void removeAll() override
    {
        Node* n = head;
        while (n) {
            Node* next = n->next;
            delete n;
            n = next;
        }
        head = tail = nullptr;
        this->size = 0;
    }

    T& at(int32_t index) const override
    {
        if (index < 0 || index >= this->size)
            return this->nullRef();
        return nodeAt(index)->element;
    }

    T& lookup(const T& element) const override
    {
        Node* n = findNode(element);
        return n ? n->element : this->nullRef();
    }
    bool contains(const T& element) const override { return findNode(element) != nullptr; }

    // Remove the first (last) element and answer a copy of it; an empty list answers the null element.
    T takeFirst() { return take(head); }
    T takeLast() { return take(tail); }

protected:
    friend class TNodeListIterator<T, Node>;

    static constexpr bool kLinkedBack = requires(Node n) { n.previous; };

    TNodeList() = default;

    // Empties this list, then copies the other's null element and elements in order.
    void assign(const TNodeList& other)
    {
        if (this == &other)
            return;
        removeAll();
        this->nullElement = other.nullElement;
        for (Node* n = other.head; n; n = n->next)
            add(n->element);
    }

    Node* findNode(const T& element) const
    {
        for (Node* n = head; n; n = n->next)
            if (TContainerTraits<T>::equal(n->element, element))
                return n;
        return nullptr;
    }

    Node* nodeAt(int32_t index) const
    {
        Node* n = head;
        for (int32_t i = 0; i < index; ++i)
            n = n->next;
        return n;
    }

    Node* before(const Node* target) const
    {
        if constexpr (kLinkedBack) {
            return target->previous;
        } else {
            Node* b = nullptr;
            for (Node* n = head; n && n != target; n = n->next)
                b = n;
            return b;
        }
    }

    bool unlink(Node* target)
    {
        Node* b = before(target);
        if (b)
            b->next = target->next;
        else
            head = target->next;
        if (!target->next)
            tail = b;
        else if constexpr (kLinkedBack)
            target->next->previous = b;
        delete target;
        --this->size;
        return true;
    }

    T take(Node* n)
    {
        if (!n)
            return this->nullElement;
        T e = n->element;
        unlink(n);
        return e;
    }

    Node* head = nullptr;
    Node* tail = nullptr;
};

template <class T>
class TLinkedList;
template <class T>
class TDLinkedList;

template <class T>
class TLinkedListIterator : public TNodeListIterator<T, TLinkedListNode<T>>
{
public:
    explicit TLinkedListIterator(const TLinkedList<T>* l) : TNodeListIterator<T, TLinkedListNode<T>>(l) {}
};

template <class T>
class TDLinkedListIterator : public TNodeListIterator<T, TDLinkedListNode<T>>
{
public:
    explicit TDLinkedListIterator(const TDLinkedList<T>* l) : TNodeListIterator<T, TDLinkedListNode<T>>(l) {}
};

// Removal by position walks from the head to the node before it.
template <class T>
class TLinkedList : public TNodeList<T, TLinkedListNode<T>>
{
public:
    using Node = TLinkedListNode<T>;

    TLinkedList() = default;
    TLinkedList(const TLinkedList& other) : TNodeList<T, Node>() { this->assign(other); }
    TLinkedList& operator=(const TLinkedList& other)
    {
        this->assign(other);
        return *this;
    }

    TContainer<T>* newInstance() const override { return new TLinkedList<T>; }
    TIterator<T>* newIterator() const override { return new TLinkedListIterator<T>(this); }
};

// Removal unlinks through the previous pointers once the node is reached.
template <class T>
class TDLinkedList : public TNodeList<T, TDLinkedListNode<T>>
{
public:
    using Node = TDLinkedListNode<T>;

    TDLinkedList() = default;
    TDLinkedList(const TDLinkedList& other) : TNodeList<T, Node>() { this->assign(other); }
    TDLinkedList& operator=(const TDLinkedList& other)
    {
        this->assign(other);
        return *this;
    }

    TContainer<T>* newInstance() const override { return new TDLinkedList<T>; }
    TIterator<T>* newIterator() const override { return new TDLinkedListIterator<T>(this); }
};

} // namespace Calvereth
