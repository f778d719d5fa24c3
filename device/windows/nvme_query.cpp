#include "device/windows/nvme_query.h"

// clang-format off
#include <windows.h>
#include <winioctl.h>
#include <nvme.h>
// clang-format on

#include <cstring>

#include "device/disk_system.h"
#include "device/nvme/nvme_decoders.h"

namespace trelmoss {
namespace {

// The request starts in the query's AdditionalParameters; the data follows the request.
constexpr std::size_t kRequestOffset = offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters);
constexpr std::size_t kDataOffset = kRequestOffset + sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA);
static_assert(kRequestOffset == 8 && sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA) == 40);
static_assert(sizeof(STORAGE_PROTOCOL_DATA_DESCRIPTOR) == 48);
static_assert(sizeof(NVME_HEALTH_INFO_LOG) == kNvmeHealthLogBytes);
static_assert(sizeof(NVME_IDENTIFY_CONTROLLER_DATA) == kNvmeIdentifyBytes);

// The driver rejects what it cannot make sense of with this number; a descriptor we cannot make
// sense of gets the same.
constexpr int kInvalidData = ERROR_INVALID_DATA;

}  // namespace

NvmeQuery::NvmeQuery(NvmeQueryKind kind)
    : dataBytes_(kind == NvmeQueryKind::kHealthLog ? kNvmeHealthLogBytes : kNvmeIdentifyBytes),
      buffer_(kDataOffset + dataBytes_, 0) {
  STORAGE_PROPERTY_QUERY query{};
  STORAGE_PROTOCOL_SPECIFIC_DATA request{};
  request.ProtocolType = ProtocolTypeNvme;
  request.ProtocolDataOffset = sizeof request;
  request.ProtocolDataLength = static_cast<DWORD>(dataBytes_);
  query.QueryType = PropertyStandardQuery;
  if (kind == NvmeQueryKind::kHealthLog) {
    query.PropertyId = StorageDeviceProtocolSpecificProperty;
    request.DataType = NVMeDataTypeLogPage;
    request.ProtocolDataRequestValue = NVME_LOG_PAGE_HEALTH_INFO;
    // Retain Asynchronous Event: reading never clears an alert the host has not seen. Drivers
    // that predate the field ignore it.
    STORAGE_PROTOCOL_DATA_SUBVALUE_GET_LOG_PAGE subValue{};
    subValue.RetainAsynEvent = 1;
    std::memcpy(&request.ProtocolDataRequestSubValue4, &subValue, sizeof subValue);
  } else {
    query.PropertyId = StorageAdapterProtocolSpecificProperty;
    request.DataType = NVMeDataTypeIdentify;
    request.ProtocolDataRequestValue = NVME_IDENTIFY_CNS_CONTROLLER;
  }
  std::memcpy(buffer_.data(), &query, kRequestOffset);
  std::memcpy(buffer_.data() + kRequestOffset, &request, sizeof request);
}

std::span<const std::uint8_t> NvmeQuery::Data(int& error) const {
  STORAGE_PROTOCOL_DATA_DESCRIPTOR descriptor{};
  std::memcpy(&descriptor, buffer_.data(), sizeof descriptor);
  const STORAGE_PROTOCOL_SPECIFIC_DATA& reply = descriptor.ProtocolSpecificData;
  const std::size_t reached =
      offsetof(STORAGE_PROTOCOL_DATA_DESCRIPTOR, ProtocolSpecificData) + reply.ProtocolDataOffset;
  if (descriptor.Version != sizeof descriptor || descriptor.Size != sizeof descriptor ||
      reply.ProtocolDataOffset < sizeof reply || reply.ProtocolDataLength < dataBytes_ ||
      reached + dataBytes_ > buffer_.size()) {
    error = kInvalidData;
    return {};
  }
  return std::span<const std::uint8_t>(buffer_.data() + reached, dataBytes_);
}

}  // namespace trelmoss
