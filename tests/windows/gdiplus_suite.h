#pragma once
// GDI+ up for a whole test suite, as the setup keeps it up for its whole run:
//   class Painting : public WithGdiplus<testing::Test> {};
#include <windows.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

namespace zelkora::test {

template <class Base>
class WithGdiplus : public Base {
protected:
    static void SetUpTestSuite() {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
    }
    static void TearDownTestSuite() { Gdiplus::GdiplusShutdown(token_); }

private:
    static inline ULONG_PTR token_ = 0;
};

}  // namespace zelkora::test
