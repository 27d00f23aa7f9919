#pragma once
// Shared by the intrusive containers: their nodes are linked through `next`
// and owned by the container, which deletes them through their virtual
// destructor.

template <class T>
void DeleteNodeChain(T* node)
{
    while (node) {
        T* following = node->next;
        delete node;
        node = following;
    }
}
