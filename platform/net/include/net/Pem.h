#pragma once
// PEM text: how many certificates it holds.

#include <cstddef>
#include <string_view>

namespace net {

/// The number of certificates of the PEM text that parse ("-----BEGIN CERTIFICATE-----"
/// blocks whose contents are a certificate); 0 for text that holds none.
std::size_t pemCertificateCount(std::string_view pem);

}  // namespace net
