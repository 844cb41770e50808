#include "net/http_form.h"

#include <gtest/gtest.h>

namespace pelmar {
namespace {

std::string AllPieces(HttpForm& form) {
  std::string body, piece;
  for (int i = 0; i < 100 && form.NextPiece(&piece); ++i) body += piece;
  return body;
}

TEST(HttpFormTest, BoundaryShape) {
  EXPECT_EQ(HttpForm::Boundary().size(), 42u);
  EXPECT_EQ(HttpForm::Boundary(), "-----------------------------7da1f4c300560");
}

TEST(HttpFormTest, AscendingNamesReplacementAndExactBody) {
  HttpForm form;
  form.AddField("zeta", "1");
  form.AddField("beta", "first");
  form.AddField("Alpha", "x");
  form.AddField("beta", "second");  // replaces, keeps one part
  ASSERT_TRUE(form.Prepare());
  const std::string& b = HttpForm::Boundary();
  const std::string expected =
      b + "\r\nContent-Disposition: form-data; name=\"Alpha\"\r\n\r\nx\r\n" + b +
      "\r\nContent-Disposition: form-data; name=\"beta\"\r\n\r\nsecond\r\n" + b +
      "\r\nContent-Disposition: form-data; name=\"zeta\"\r\n\r\n1\r\n" + b + "--\r\n";
  const std::string body = AllPieces(form);
  EXPECT_EQ(body, expected);
  EXPECT_EQ(form.TotalLength(), static_cast<int64_t>(body.size()));
  std::string piece;
  EXPECT_FALSE(form.NextPiece(&piece));
}

TEST(HttpFormTest, EmptyFormAndLateFields) {
  HttpForm form;
  EXPECT_FALSE(form.Prepare());
  std::string piece;
  EXPECT_FALSE(form.NextPiece(&piece));
  form.AddField("a", "1");  // still accepted: the form was never prepared
  ASSERT_TRUE(form.Prepare());
  form.AddField("b", "2");  // ignored once prepared
  const int64_t total = form.TotalLength();
  const std::string first = AllPieces(form);
  EXPECT_EQ(first.find("name=\"b\""), std::string::npos);
  // Preparing again restarts at the first part with the same length.
  ASSERT_TRUE(form.Prepare());
  EXPECT_EQ(form.TotalLength(), total);
  EXPECT_EQ(AllPieces(form), first);
}

TEST(HttpFormTest, LengthMatchesForValueSizes) {
  for (size_t size : {0u, 1u, 100u, 70000u}) {
    SCOPED_TRACE(size);
    HttpForm form;
    form.AddField("file", std::string(size, '\0'));
    form.AddField("n", "v");
    ASSERT_TRUE(form.Prepare());
    EXPECT_EQ(form.TotalLength(), static_cast<int64_t>(AllPieces(form).size()));
  }
}

}  // namespace
}  // namespace pelmar
