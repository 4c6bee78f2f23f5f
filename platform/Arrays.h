// The class library's arrays (CArray, CStringArray, CDWordArray) and CObject, on std::vector.
//
// Header-only, like CString. Indexes are int as in the class library; an index out of range
// throws std::out_of_range (the library catches it at its exported boundary).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include "CString.h"

// Root of the class library's polymorphic classes: a virtual destructor and nothing else.
class CObject {
public:
    virtual ~CObject() = default;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

// ARG_TYPE is how the class library passes elements in; kept for the declared signatures.
template <class TYPE, class ARG_TYPE = const TYPE&>
class CArray : public CObject {
public:
    CArray() = default;
    CArray(const CArray&) = default;
    CArray& operator=(const CArray&) = default;

    int GetSize() const { return static_cast<int>(m_v.size()); }
    int GetCount() const { return GetSize(); }
    int GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_v.empty(); }
    void SetSize(int n) { m_v.resize(n > 0 ? static_cast<size_t>(n) : 0); }

    const TYPE& GetAt(int i) const { return m_v.at(Index(i)); }
    TYPE& ElementAt(int i) { return m_v.at(Index(i)); }
    void SetAt(int i, ARG_TYPE v) { m_v.at(Index(i)) = v; }
    const TYPE& operator[](int i) const { return GetAt(i); }
    TYPE& operator[](int i) { return ElementAt(i); }
    TYPE* GetData() { return m_v.data(); }
    const TYPE* GetData() const { return m_v.data(); }

    int Add(ARG_TYPE v) {
        m_v.push_back(v);
        return GetUpperBound();
    }
    int Append(const CArray& other) {
        int first = GetSize();
        m_v.insert(m_v.end(), other.m_v.begin(), other.m_v.end());
        return first;
    }
    void Copy(const CArray& other) { m_v = other.m_v; }
    void InsertAt(int i, ARG_TYPE v, int count = 1) {
        size_t at = i < 0 ? 0 : static_cast<size_t>(i);
        if (at > m_v.size())
            m_v.resize(at);
        m_v.insert(m_v.begin() + static_cast<std::ptrdiff_t>(at),
                   count > 0 ? static_cast<size_t>(count) : 0, v);
    }
    void RemoveAt(int i, int count = 1) {
        size_t at = Index(i);
        size_t n = count > 0 ? static_cast<size_t>(count) : 0;
        if (n > m_v.size() - at)
            n = m_v.size() - at;
        m_v.erase(m_v.begin() + static_cast<std::ptrdiff_t>(at),
                  m_v.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    void RemoveAll() { m_v.clear(); }
    void Reserve(int n) { m_v.reserve(n > 0 ? static_cast<size_t>(n) : 0); }

    // Range-for and standard algorithms.
    auto begin() { return m_v.begin(); }
    auto end() { return m_v.end(); }
    auto begin() const { return m_v.begin(); }
    auto end() const { return m_v.end(); }
    std::vector<TYPE>& vec() { return m_v; }
    const std::vector<TYPE>& vec() const { return m_v; }

private:
    size_t Index(int i) const {
        if (i < 0 || static_cast<size_t>(i) >= m_v.size())
            throw std::out_of_range("CArray index");
        return static_cast<size_t>(i);
    }
    std::vector<TYPE> m_v;
};

class CStringArray : public CArray<CString, const CString&> {
public:
    using CArray::CArray;
};

// 32-bit unsigned numbers, as DWORD.
class CDWordArray : public CArray<DWORD, DWORD> {
public:
    using CArray::CArray;
};
