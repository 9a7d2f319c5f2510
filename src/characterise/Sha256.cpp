#include "characterise/Sha256.h"

#include <openssl/evp.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

namespace velk::characterise {

namespace {

struct Digest {
  Digest() : context(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
  }
  void Add(const char* bytes, size_t size) { EVP_DigestUpdate(context.get(), bytes, size); }
  std::string Hex() {
    std::array<unsigned char, EVP_MAX_MD_SIZE> md{};
    unsigned int size = 0;
    EVP_DigestFinal_ex(context.get(), md.data(), &size);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
      hex.push_back(kDigits[md[i] >> 4]);
      hex.push_back(kDigits[md[i] & 0xF]);
    }
    return hex;
  }
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context;
};

}  // namespace

std::string Sha256(std::string_view bytes) {
  Digest digest;
  digest.Add(bytes.data(), bytes.size());
  return digest.Hex();
}

Result<std::string, std::string> Sha256OfFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return Unexpected("cannot read " + file.string() + ": " + std::strerror(errno));
  Digest digest;
  std::array<char, 1 << 16> buffer{};
  while (in) {
    in.read(buffer.data(), buffer.size());
    digest.Add(buffer.data(), static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) return Unexpected("cannot read " + file.string());
  return digest.Hex();
}

}  // namespace velk::characterise
