// Addresses read with Asio's parser, so that every spelling of one address compares equal.
#include "server/client_address.h"

#include <boost/asio/ip/address.hpp>

#include <stdexcept>

namespace {

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::string Address_Text(std::string_view text) {
  boost::system::error_code error;
  const boost::asio::ip::address address = boost::asio::ip::make_address(std::string(Trim(text)), error);
  if (error) return {};
  if (address.is_v6() && address.to_v6().is_v4_mapped())
    return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6()).to_string();
  return address.to_string();
}

std::vector<std::string> Parse_Address_List(std::string_view text) {
  std::vector<std::string> addresses;
  while (!Trim(text).empty()) {
    const auto separator = text.find_first_of(", ");
    const std::string_view entry = text.substr(0, separator);
    text = separator == std::string_view::npos ? std::string_view() : text.substr(separator + 1);
    if (entry.empty()) continue;
    std::string address = Address_Text(entry);
    if (address.empty()) throw std::invalid_argument("not an address: " + std::string(entry));
    addresses.push_back(std::move(address));
  }
  return addresses;
}

std::string Client_Address(const std::string& peer, bool peer_is_trusted, const Http_Fields& headers) {
  if (!peer_is_trusted) return peer;
  const std::string* last_header = nullptr;
  for (const auto& [name, value] : headers)
    if (Same_Name(name, "X-Forwarded-For")) last_header = &value;
  if (!last_header) return peer;
  const std::string_view list = *last_header;
  const auto comma = list.find_last_of(',');
  const std::string hop = Address_Text(comma == std::string_view::npos ? list : list.substr(comma + 1));
  return hop.empty() ? peer : hop;
}
