// CMyAboutDlg: the library's about box. Hosts only ever destroy one (its destructor is the one
// member exported); nothing in the interface hands one out.
#pragma once

#include "CString.h"

#define MEMLIST_ABOUT_API __attribute__((visibility("default")))

class CMyAboutDlg {
public:
    CMyAboutDlg();
    MEMLIST_ABOUT_API virtual ~CMyAboutDlg();
    CMyAboutDlg(const CMyAboutDlg&) = delete;
    CMyAboutDlg& operator=(const CMyAboutDlg&) = delete;

    // The library's name and version, as the box shows them.
    const CString& GetText() const { return m_strText; }

private:
    CString m_strText;
};
