// Deletes every node of a list linked through m_pNext and leaves the head
// null (the server's item and tag lists).
#pragma once

template <class Node>
void DeleteLinkedList(Node*& first) {
    while (first) {
        Node* next = first->m_pNext;
        delete first;
        first = next;
    }
}
