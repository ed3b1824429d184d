#include "platform/com/variant.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

// Each array carries its element type in a header in front of the
// SAFEARRAY, where Windows keeps it too (FADF_HAVEVARTYPE).
namespace {

struct Box {
    VARTYPE vt;
    SAFEARRAY sa;
};

Box* BoxOf(SAFEARRAY* psa) {
    return reinterpret_cast<Box*>(reinterpret_cast<char*>(psa) - offsetof(Box, sa));
}

ULONG ElemSize(VARTYPE vt) {
    switch (vt) {
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_R8:
    case VT_DATE:
        return 8;
    case VT_BSTR:
        return sizeof(BSTR);
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return sizeof(IUnknown*);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

USHORT FeaturesOf(VARTYPE vt) {
    USHORT f = FADF_HAVEVARTYPE;
    if (vt == VT_BSTR)
        f |= FADF_BSTR;
    else if (vt == VT_UNKNOWN)
        f |= FADF_UNKNOWN;
    else if (vt == VT_DISPATCH)
        f |= FADF_DISPATCH;
    else if (vt == VT_VARIANT)
        f |= FADF_VARIANT;
    return f;
}

char* Elem(SAFEARRAY* psa, ULONG i) {
    return static_cast<char*>(psa->pvData) + i * psa->cbElements;
}

void FreeElems(SAFEARRAY* psa, VARTYPE vt, ULONG from, ULONG to) {
    for (ULONG i = from; i < to; ++i) {
        char* p = Elem(psa, i);
        if (vt == VT_BSTR)
            SysFreeString(*reinterpret_cast<BSTR*>(p));
        else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
            if (auto* u = *reinterpret_cast<IUnknown**>(p))
                u->Release();
        } else if (vt == VT_VARIANT)
            VariantClear(reinterpret_cast<VARIANT*>(p));
    }
}

// Copies one element from src into the (zeroed or freed) slot dst.
HRESULT CopyElem(VARTYPE vt, const void* src, void* dst, ULONG size) {
    if (vt == VT_BSTR) {
        BSTR s = *static_cast<const BSTR*>(src);
        BSTR c = s ? SysAllocStringLen(s, SysStringLen(s)) : nullptr;
        if (s && !c)
            return E_OUTOFMEMORY;
        *static_cast<BSTR*>(dst) = c;
    } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        IUnknown* u = *static_cast<IUnknown* const*>(src);
        if (u)
            u->AddRef();
        *static_cast<IUnknown**>(dst) = u;
    } else if (vt == VT_VARIANT) {
        VariantInit(static_cast<VARIANT*>(dst));
        return VariantCopy(static_cast<VARIANT*>(dst), static_cast<const VARIANT*>(src));
    } else {
        std::memcpy(dst, src, size);
    }
    return S_OK;
}

HRESULT Index(SAFEARRAY* psa, const LONG* idx, ULONG& i) {
    if (!psa || !idx)
        return E_INVALIDARG;
    long long off = static_cast<long long>(idx[0]) - psa->rgsabound[0].lLbound;
    if (off < 0 || off >= psa->rgsabound[0].cElements)
        return DISP_E_BADINDEX;
    i = static_cast<ULONG>(off);
    return S_OK;
}

} // namespace

extern "C" {

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    ULONG size = ElemSize(vt);
    if (cDims != 1 || !rgsabound || !size || rgsabound[0].cElements > 0x7FFFFFFFu / size)
        return nullptr;
    auto* box = static_cast<Box*>(std::calloc(1, sizeof(Box)));
    if (!box)
        return nullptr;
    box->vt = vt;
    SAFEARRAY* psa = &box->sa;
    psa->cDims = 1;
    psa->fFeatures = FeaturesOf(vt);
    psa->cbElements = size;
    psa->rgsabound[0] = rgsabound[0];
    ULONG n = rgsabound[0].cElements;
    psa->pvData = std::calloc(n ? n : 1, size);
    if (!psa->pvData) {
        std::free(box);
        return nullptr;
    }
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND b{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &b);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa)
        return S_OK;
    if (psa->cLocks)
        return DISP_E_ARRAYISLOCKED;
    FreeElems(psa, BoxOf(psa)->vt, 0, psa->rgsabound[0].cElements);
    std::free(psa->pvData);
    std::free(BoxOf(psa));
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa)
        return S_OK;
    VARTYPE vt = BoxOf(psa)->vt;
    SAFEARRAY* c = SafeArrayCreate(vt, 1, psa->rgsabound);
    if (!c)
        return E_OUTOFMEMORY;
    for (ULONG i = 0; i < psa->rgsabound[0].cElements; ++i) {
        HRESULT hr = CopyElem(vt, Elem(psa, i), Elem(c, i), psa->cbElements);
        if (FAILED(hr)) {
            SafeArrayDestroy(c);
            return hr;
        }
    }
    *ppsaOut = c;
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt)
        return E_INVALIDARG;
    *pvt = BoxOf(psa)->vt;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa ? psa->cDims : 0;
}
UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
    return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound)
        return E_INVALIDARG;
    if (nDim != 1)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound)
        return E_INVALIDARG;
    if (nDim != 1)
        return DISP_E_BADINDEX;
    *plUbound = static_cast<LONG>(psa->rgsabound[0].lLbound +
                                  static_cast<long long>(psa->rgsabound[0].cElements) - 1);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    ULONG i;
    HRESULT hr = Index(psa, rgIndices, i);
    if (FAILED(hr))
        return hr;
    if (!pv)
        return E_INVALIDARG;
    return CopyElem(BoxOf(psa)->vt, Elem(psa, i), pv, psa->cbElements);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    ULONG i;
    HRESULT hr = Index(psa, rgIndices, i);
    if (FAILED(hr))
        return hr;
    VARTYPE vt = BoxOf(psa)->vt;
    // Strings and interfaces are passed as themselves, other types by address.
    const void* src = pv;
    if (vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH)
        src = &pv;
    else if (!pv)
        return E_INVALIDARG;
    alignas(VARIANT) char fresh[sizeof(VARIANT)];
    hr = CopyElem(vt, src, fresh, psa->cbElements);
    if (FAILED(hr))
        return hr;
    FreeElems(psa, vt, i, i + 1);
    std::memcpy(Elem(psa, i), fresh, psa->cbElements);
    return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
    if (!psa || !psaboundNew)
        return E_INVALIDARG;
    if (psa->cLocks)
        return DISP_E_ARRAYISLOCKED;
    ULONG oldN = psa->rgsabound[0].cElements, newN = psaboundNew->cElements;
    if (newN > 0x7FFFFFFFu / psa->cbElements)
        return E_OUTOFMEMORY;
    void* data = std::calloc(newN ? newN : 1, psa->cbElements);
    if (!data)
        return E_OUTOFMEMORY;
    ULONG keep = oldN < newN ? oldN : newN;
    std::memcpy(data, psa->pvData, static_cast<size_t>(keep) * psa->cbElements);
    FreeElems(psa, BoxOf(psa)->vt, keep, oldN);
    std::free(psa->pvData);
    psa->pvData = data;
    psa->rgsabound[0] = *psaboundNew;
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa)
        return E_INVALIDARG;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa)
        return E_INVALIDARG;
    if (!psa->cLocks)
        return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData)
        return E_INVALIDARG;
    ++psa->cLocks;
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    return SafeArrayUnlock(psa);
}

} // extern "C"
