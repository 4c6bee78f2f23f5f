#include "MyAboutDlg.h"

#ifndef MEMLIST_VERSION
#define MEMLIST_VERSION "unknown"
#endif

CMyAboutDlg::CMyAboutDlg() : m_strText("memlist " MEMLIST_VERSION) {}

CMyAboutDlg::~CMyAboutDlg() = default;
