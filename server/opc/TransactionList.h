// The asynchronous transactions of one subscription.  The list owns them and
// their threads: a transaction marks itself finished as its thread's last
// act, and the list deletes it only after joining that thread, when the next
// one starts or when the subscription goes.
#pragma once

#include "AsyncTransaction.h"
#include "Sync.h"

#include <list>
#include <memory>

class TransactionList {
public:
    TransactionList() = default;
    ~TransactionList() { JoinAll(); }
    TransactionList(const TransactionList&) = delete;
    TransactionList& operator=(const TransactionList&) = delete;

    // Starts the transaction, which the list owns from then on.
    HRESULT Start(std::unique_ptr<CAsyncTransaction> transaction);
    // Waits for every transaction's thread and deletes them all.
    void JoinAll();
    size_t Count();

private:
    void ReapFinished();

    fw::CriticalSection m_lock;
    std::list<std::unique_ptr<CAsyncTransaction>> m_transactions;
};
