#include "TransactionList.h"

#include <new>

void TransactionList::ReapFinished() {
    for (auto it = m_transactions.begin(); it != m_transactions.end();) {
        if ((*it)->Finished()) {
            // Its thread has done its last act and is ending: the wait is short.
            WaitForSingleObject((*it)->Thread(), INFINITE);
            it = m_transactions.erase(it);
        } else {
            ++it;
        }
    }
}

HRESULT TransactionList::Start(std::unique_ptr<CAsyncTransaction> transaction) {
    fw::Lock lock(m_lock);
    ReapFinished();
    const HRESULT hr = transaction->Start();
    if (FAILED(hr)) return hr;
    try {
        m_transactions.push_back(std::move(transaction));
    } catch (const std::bad_alloc&) {
        // Started but not listed: it must still be joined before it goes.
        WaitForSingleObject(transaction->Thread(), INFINITE);
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void TransactionList::JoinAll() {
    std::list<std::unique_ptr<CAsyncTransaction>> joining;
    {
        fw::Lock lock(m_lock);
        joining.swap(m_transactions);
    }
    for (const auto& transaction : joining) WaitForSingleObject(transaction->Thread(), INFINITE);
}

size_t TransactionList::Count() {
    fw::Lock lock(m_lock);
    ReapFinished();
    return m_transactions.size();
}
