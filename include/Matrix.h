// Table parameters: an owned, dense, column-major array of any number (at
// least two) of dimensions. Only rows x columns occurs in the models.
#ifndef TESSEL_MATRIX_H
#define TESSEL_MATRIX_H

#include <cstddef>

#include "Precondition.h"

namespace Tessel {

class MatrixUtilities {
public:
    template <typename T>
    static void Copy(const T* pIn, T* pOut, size_t n) {
        TESSEL_PRECONDITION(pIn != nullptr && pOut != nullptr, "pIn != 0 && pOut != 0");
        if (pIn == nullptr || pOut == nullptr) return;
        for (size_t i = 0; i < n; ++i) {
            pOut[i] = pIn[i];
        }
    }
};

template <typename T>
class Matrix {
public:
    Matrix() : m_piDimensions(new size_t[2]()), m_piStrides(new size_t[2]()) {}

    Matrix(const Matrix& other) : Matrix() { *this = other; }

    Matrix& operator=(const Matrix& other) {
        if (this != &other) {
            ResizeMultidimensional(other.m_nDimensions, other.m_piDimensions);
            if (m_nElements > 0) {
                MatrixUtilities::Copy(other.m_pData, m_pData, m_nElements);
            }
        }
        return *this;
    }

    ~Matrix() {
        delete[] m_pData;
        delete[] m_piDimensions;
        delete[] m_piStrides;
    }

    size_t NumDimensions() const { return m_nDimensions; }
    size_t NumElements() const { return m_nElements; }
    size_t Capacity() const { return m_nCapacity; }
    size_t Stride(size_t iDimension) const {
        TESSEL_PRECONDITION(iDimension < m_nDimensions, "iDimension < m_nDimensions");
        return m_piStrides[iDimension];
    }

    size_t Size(size_t iDimension) const {
        TESSEL_PRECONDITION(iDimension < m_nDimensions, "iDimension < m_nDimensions");
        return m_nElements == 0 ? 0 : m_piDimensions[iDimension];
    }
    size_t NumRows() const { return Size(0); }
    size_t NumColumns() const { return Size(1); }

    T& operator()(size_t iIndex) {
        TESSEL_PRECONDITION(m_pData && NumElements(), "m_pData && NumElements()");
        TESSEL_PRECONDITION(iIndex < NumElements(), "iIndex < NumElements()");
        return m_pData[iIndex];
    }
    T& operator()(size_t iRow, size_t iCol) {
        TESSEL_PRECONDITION(m_pData && NumElements(), "m_pData && NumElements()");
        TESSEL_PRECONDITION(iRow < NumRows(), "iRow < NumRows()");
        TESSEL_PRECONDITION(iCol < NumColumns(), "iCol < NumColumns()");
        return m_pData[iRow + iCol * m_piDimensions[0]];
    }

    const T* Data() const { return m_pData; }
    T* Data() { return m_pData; }

    // Reshapes; storage only ever grows, and values are not carried over into
    // new storage (nor cleared when the old storage is reused).
    void ResizeMultidimensional(size_t nDimensions, const size_t* piDimension) {
        TESSEL_PRECONDITION(nDimensions >= 2, "nDimensions >= 2");
        TESSEL_PRECONDITION(piDimension, "piDimension");
        if (nDimensions < 2 || piDimension == nullptr) return;
        size_t total = 1;
        for (size_t i = 0; i < nDimensions; ++i) {
            total *= piDimension[i];
        }
        if (nDimensions > m_nDimensions) {
            delete[] m_piDimensions;
            delete[] m_piStrides;
            m_piDimensions = new size_t[nDimensions]();
            m_piStrides = new size_t[nDimensions]();
        }
        m_nDimensions = nDimensions;
        m_nElements = total;
        if (total > m_nCapacity) {
            m_nCapacity = total;
            delete[] m_pData;
            m_pData = new T[total];
        }
        size_t stride = 1;
        for (size_t i = 0; i < nDimensions; ++i) {
            m_piDimensions[i] = piDimension[i];
            m_piStrides[i] = stride;
            stride *= piDimension[i];
        }
    }

    // Copies min(n, element count) values in storage order, converting to T,
    // and zeroes the rest.
    template <typename T2>
    void CopyFrom(const T2* pData, size_t n) {
        TESSEL_PRECONDITION(pData != nullptr, "pData != 0");
        const size_t copied = (pData == nullptr) ? 0 : (n < m_nElements ? n : m_nElements);
        for (size_t i = 0; i < copied; ++i) {
            m_pData[i] = static_cast<T>(pData[i]);
        }
        for (size_t i = copied; i < m_nElements; ++i) {
            m_pData[i] = T();
        }
    }

private:
    T* m_pData = nullptr;
    size_t m_nDimensions = 2;
    size_t* m_piDimensions;
    size_t m_nElements = 0;
    size_t m_nCapacity = 0;
    size_t* m_piStrides;
};

}  // namespace Tessel

#endif
