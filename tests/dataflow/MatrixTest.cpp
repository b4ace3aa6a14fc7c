#include <gtest/gtest.h>

#include <vector>

#include "Matrix.h"

using Tessel::Matrix;

namespace {
void Reshape(Matrix<double>& m, size_t rows, size_t columns) {
    const size_t dimensions[2] = {rows, columns};
    m.ResizeMultidimensional(2, dimensions);
}
}  // namespace

TEST(Matrix, DefaultIsEmptyTwoDimensional) {
    Matrix<double> m;
    EXPECT_EQ(m.NumDimensions(), 2u);
    EXPECT_EQ(m.NumRows(), 0u);
    EXPECT_EQ(m.NumColumns(), 0u);
    EXPECT_EQ(m.Data(), nullptr);
}

TEST(Matrix, CopyFromFillsThenZeroesOrTruncates) {
    Matrix<double> m;
    Reshape(m, 500, 1);
    std::vector<int> values(700);
    for (int i = 0; i < 700; ++i) values[i] = i + 1;
    m.CopyFrom(values.data(), 300);
    EXPECT_EQ(m(299), 300.0);
    EXPECT_EQ(m(300), 0.0);
    EXPECT_EQ(m(499), 0.0);
    m.CopyFrom(values.data(), 700);
    EXPECT_EQ(m(499), 500.0);
}

TEST(Matrix, ShrinkingReusesStorageAndKeepsOldValues) {
    Matrix<double> m;
    Reshape(m, 500, 1);
    std::vector<double> values(500);
    for (int i = 0; i < 500; ++i) values[i] = i;
    m.CopyFrom(values.data(), values.size());
    const double* storage = m.Data();
    Reshape(m, 10, 2);
    EXPECT_EQ(m.Capacity(), 500u);
    EXPECT_EQ(m.Data(), storage);
    EXPECT_EQ(m(1, 1), 11.0);
    EXPECT_EQ(m.Stride(1), 10u);
}

TEST(Matrix, ColumnMajorIndexingAndEmptySizes) {
    Matrix<double> m;
    Reshape(m, 4, 3);
    for (size_t i = 0; i < 12; ++i) m(i) = static_cast<double>(i);
    EXPECT_EQ(m(2, 1), 6.0);
    Reshape(m, 0, 7);
    EXPECT_EQ(m.Size(1), 0u);
    const size_t three[3] = {2, 3, 4};
    m.ResizeMultidimensional(3, three);
    EXPECT_EQ(m.NumElements(), 24u);
    EXPECT_EQ(m.Stride(2), 6u);
}

TEST(Matrix, CopiesAreDeep) {
    Matrix<double> a;
    Reshape(a, 2, 2);
    for (size_t i = 0; i < 4; ++i) a(i) = 1.0 + i;
    Matrix<double> b(a);
    b(0) = 42.0;
    EXPECT_EQ(a(0), 1.0);
    Matrix<double> c;
    c = a;
    EXPECT_EQ(c(1, 1), 4.0);
    EXPECT_NE(c.Data(), a.Data());
}

#if TESSEL_CHECKED
TEST(MatrixDeathTest, CheckedBuildStopsOnBrokenPreconditions) {
    Matrix<double> m;
    EXPECT_DEATH(m(0), "m_pData && NumElements\\(\\)");
    Reshape(m, 4, 3);
    EXPECT_DEATH(m(12), "iIndex < NumElements\\(\\)");
    EXPECT_DEATH(m(4, 0), "iRow < NumRows\\(\\)");
    EXPECT_DEATH(m(0, 3), "iCol < NumColumns\\(\\)");
    EXPECT_DEATH(m.Size(2), "iDimension < m_nDimensions");
    const size_t one[1] = {4};
    EXPECT_DEATH(m.ResizeMultidimensional(1, one), "nDimensions >= 2");
    EXPECT_DEATH(m.CopyFrom(static_cast<const double*>(nullptr), 1), "pData != 0");
}
#endif
