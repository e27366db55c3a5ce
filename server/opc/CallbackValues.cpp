#include "CallbackValues.h"

#include <new>

bool CallbackValues::Reserve(size_t n) {
    try {
        clients_.reserve(n);
        values_.reserve(n);
        qualities_.reserve(n);
        times_.reserve(n);
        errors_.reserve(n);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void CallbackValues::Add(OPCHANDLE client, VARIANT& value, WORD quality, const FILETIME& time, HRESULT error) {
    clients_.push_back(client);
    values_.push_back(value);
    VariantInit(&value);
    qualities_.push_back(quality);
    times_.push_back(time);
    errors_.push_back(error);
}

void CallbackValues::Clear() {
    for (VARIANT& value : values_) VariantClear(&value);
    clients_.clear();
    values_.clear();
    qualities_.clear();
    times_.clear();
    errors_.clear();
}

HRESULT CallbackValues::MasterQuality() const {
    for (WORD quality : qualities_)
        if ((quality & OPC_QUALITY_MASK) != OPC_QUALITY_GOOD) return S_FALSE;
    return S_OK;
}

HRESULT CallbackValues::MasterError() const {
    for (HRESULT error : errors_)
        if (error != S_OK) return S_FALSE;
    return S_OK;
}
