// Singly and doubly linked lists of the base library.
#pragma once

#include "base/tcontainer.h"

#include <new>

namespace Calvereth {

template <class T>
class TLinkedList;
template <class T>
class TDLinkedList;

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

template <class T>
class TLinkedListIterator : public TIterator<T>
{
public:
    explicit TLinkedListIterator(const TLinkedList<T>* l) : list(l), node(l->head) {}
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
        TLinkedListNode<T>* before = nullptr;
        for (TLinkedListNode<T>* n = list->head; n && n != node; n = n->next)
            before = n;
        node = before;
        return e;
    }
    T& current() override { return node ? node->element : list->nullRef(); }
    void first() override { node = list->head; }
    void last() override { node = list->tail; }

private:
    friend class TLinkedList<T>;
    const TLinkedList<T>* list;
    TLinkedListNode<T>* node;
};

template <class T>
class TLinkedList : public TContainer<T>
{
public:
    using Node = TLinkedListNode<T>;

    TLinkedList() = default;
    TLinkedList(const TLinkedList& other) : TContainer<T>() { *this = other; }
    TLinkedList& operator=(const TLinkedList& other)
    {
        if (this == &other)
            return *this;
        removeAll();
        this->nullElement = other.nullElement;
        for (Node* n = other.head; n; n = n->next)
            add(n->element);
        return *this;
    }
    ~TLinkedList() override { removeAll(); }

    TContainer<T>* newInstance() const override { return new TLinkedList<T>; }

    bool add(const T& element) override
    {
        Node* n = new (std::nothrow) Node{nullptr, element};
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
        int32_t index = 0;
        for (Node* n = head; n; n = n->next, ++index)
            if (TContainerTraits<T>::equal(n->element, element))
                return removeAt(index);
        return false;
    }

    bool removeAtIterator(TIterator<T>& iterator) override
    {
        const T element = iterator.current();
        Node* target = head;
        while (target && !TContainerTraits<T>::equal(target->element, element))
            target = target->next;
        if (!target)
            return false;
        auto* own = dynamic_cast<TLinkedListIterator<T>*>(&iterator);
        // Never leave the iterator on a freed node: it moves on to the following one.
        if (own && own->list == this && own->node == target)
            own->node = target->next;
        return unlink(target);
    }

    bool removeAt(int32_t index) override
    {
        if (index < 0 || index >= this->size)
            return false;
        Node* n = head;
        for (int32_t i = 0; i < index; ++i)
            n = n->next;
        return unlink(n);
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
        Node* n = head;
        for (int32_t i = 0; i < index; ++i)
            n = n->next;
        return n->element;
    }

    TIterator<T>* newIterator() const override { return new TLinkedListIterator<T>(this); }

    // Remove the first (last) element and answer a copy of it; an empty list answers the null element.
    T takeFirst()
    {
        if (!head)
            return this->nullElement;
        T e = head->element;
        unlink(head);
        return e;
    }
    T takeLast()
    {
        if (!tail)
            return this->nullElement;
        T e = tail->element;
        unlink(tail);
        return e;
    }

protected:
    friend class TLinkedListIterator<T>;

    bool unlink(Node* target)
    {
        Node* before = nullptr;
        for (Node* n = head; n && n != target; n = n->next)
            before = n;
        if (before)
            before->next = target->next;
        else
            head = target->next;
        if (tail == target)
            tail = before;
        delete target;
        --this->size;
        return true;
    }

    Node* head = nullptr;
    Node* tail = nullptr;
};

template <class T>
class TDLinkedListIterator : public TIterator<T>
{
public:
    explicit TDLinkedListIterator(const TDLinkedList<T>* l) : list(l), node(l->head) {}
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
        node = node->previous;
        return e;
    }
    T& current() override { return node ? node->element : list->nullRef(); }
    void first() override { node = list->head; }
    void last() override { node = list->tail; }

private:
    friend class TDLinkedList<T>;
    const TDLinkedList<T>* list;
    TDLinkedListNode<T>* node;
};

template <class T>
class TDLinkedList : public TContainer<T>
{
public:
    using Node = TDLinkedListNode<T>;

    TDLinkedList() = default;
    TDLinkedList(const TDLinkedList& other) : TContainer<T>() { *this = other; }
    TDLinkedList& operator=(const TDLinkedList& other)
    {
        if (this == &other)
            return *this;
        removeAll();
        this->nullElement = other.nullElement;
        for (Node* n = other.head; n; n = n->next)
            add(n->element);
        return *this;
    }
    ~TDLinkedList() override { removeAll(); }

    TContainer<T>* newInstance() const override { return new TDLinkedList<T>; }

    bool add(const T& element) override
    {
        Node* n = new (std::nothrow) Node{nullptr, element, tail};
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
        Node* n = find(element);
        return n && unlink(n);
    }

    bool removeAtIterator(TIterator<T>& iterator) override
    {
        Node* target = find(iterator.current());
        if (!target)
            return false;
        auto* own = dynamic_cast<TDLinkedListIterator<T>*>(&iterator);
        if (own && own->list == this && own->node == target)
            own->node = target->next;
        return unlink(target);
    }

    bool removeAt(int32_t index) override
    {
        if (index < 0 || index >= this->size)
            return false;
        Node* n = head;
        for (int32_t i = 0; i < index; ++i)
            n = n->next;
        return unlink(n);
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
        Node* n = head;
        for (int32_t i = 0; i < index; ++i)
            n = n->next;
        return n->element;
    }

    TIterator<T>* newIterator() const override { return new TDLinkedListIterator<T>(this); }

    T takeFirst()
    {
        if (!head)
            return this->nullElement;
        T e = head->element;
        unlink(head);
        return e;
    }
    T takeLast()
    {
        if (!tail)
            return this->nullElement;
        T e = tail->element;
        unlink(tail);
        return e;
    }

protected:
    friend class TDLinkedListIterator<T>;

    Node* find(const T& element) const
    {
        for (Node* n = head; n; n = n->next)
            if (TContainerTraits<T>::equal(n->element, element))
                return n;
        return nullptr;
    }

    bool unlink(Node* n)
    {
        if (n->previous)
            n->previous->next = n->next;
        else
            head = n->next;
        if (n->next)
            n->next->previous = n->previous;
        else
            tail = n->previous;
        delete n;
        --this->size;
        return true;
    }

    Node* head = nullptr;
    Node* tail = nullptr;
};

} // namespace Calvereth
