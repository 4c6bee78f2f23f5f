#include "MemTagList.h"

#include <exception>
#include <new>

#include "TagShowSheet.h"
#include "gbtext/StoreTexts.h"

namespace {

// Nothing crosses the exported boundary as an exception: it becomes the member's failure.
template <class R, class F>
R Guard(R onFailure, F&& f) noexcept {
    try {
        return f();
    } catch (...) {
        return onFailure;
    }
}

// The sheet's destructor runs with the last copy; its window, if any, is destroyed first.
struct SheetDeleter {
    void operator()(CMemTagShowSheet* p) const noexcept {
        if (!p)
            return;
        try {
            if (p->HasWindow())
                p->DestroyWindow();
        } catch (...) {
        }
        delete p;
    }
};

std::shared_ptr<CMemTagShowSheet> MakeSheet(CWnd* pParent) noexcept {
    try {
        return std::shared_ptr<CMemTagShowSheet>(
            new CMemTagShowSheet(gbtext::SheetCaption, pParent, 0), SheetDeleter());
    } catch (...) {
        return nullptr;  // an allocation that yields nothing leaves the pointer null
    }
}

}  // namespace

CMemTagList::CMemTagList() : m_pSheet(MakeSheet(nullptr)) {}
CMemTagList::CMemTagList(CWnd* pParent) : m_pSheet(MakeSheet(pParent)) {}
CMemTagList::CMemTagList(const CMemTagList& other) = default;
CMemTagList& CMemTagList::operator=(const CMemTagList& other) = default;
CMemTagList::~CMemTagList() {
    m_pSheet.reset();
}

int CMemTagList::AddError(CString& strMsg) {
    return Guard(0, [&] { return m_pSheet ? m_pSheet->AddError(strMsg) : 0; });
}

int CMemTagList::GetErrStringArray(CStringArray& arr) {
    return Guard(0, [&] {
        if (!m_pSheet) {
            arr.RemoveAll();
            return 0;
        }
        return m_pSheet->GetErrStringArray(arr);
    });
}

int CMemTagList::RemoveErrorFile() {
    return Guard(1, [&] { return m_pSheet ? m_pSheet->RemoveErrorFile() : 1; });
}
