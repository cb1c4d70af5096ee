// The offline table of system error texts; see system_error_texts.h. Codes
// are the Windows ones; a code Windows has no text for (15006, for one) has
// none here either.
#include "platform/offline/system_error_texts.h"

#include <algorithm>
#include <iterator>

#include "platform/win32_types.h"

namespace qrv {

namespace {

struct ErrorText {
  uint32_t code;
  std::string_view text;
};

// Sorted by code, for the binary search below.
constexpr ErrorText kTexts[] = {
    {kErrorSuccess, "The operation finished without error.\r\n"},
    {kErrorInvalidFunction, "The function asked for is not valid here.\r\n"},
    {kErrorFileNotFound, "No file of that name could be found.\r\n"},
    {kErrorPathNotFound, "No path of that name could be found.\r\n"},
    {kErrorAccessDenied, "Access was refused.\r\n"},
    {kErrorInvalidHandle, "The handle given is not valid.\r\n"},
    {kErrorNotEnoughMemory,
     "There is not enough memory to carry out this command.\r\n"},
    {kErrorBadFormat, "The program or file is not in a format that can be used.\r\n"},
    {kErrorInvalidData, "The data given are not valid.\r\n"},
    {kErrorOutOfMemory, "There is not enough memory to finish the operation.\r\n"},
    {kErrorHandleEof, "The end of the file was reached.\r\n"},
    {kErrorNotSupported, "This request is not supported.\r\n"},
    {kErrorInvalidParameter, "A parameter given is not valid.\r\n"},
    {kErrorInsufficientBuffer,
     "The buffer passed to the call is too small for the data.\r\n"},
    {kErrorBadPathname, "The path given is not a valid path.\r\n"},
    {kErrorMoreData, "More data are available than the buffer holds.\r\n"},
    {kErrorNoMoreItems, "There are no more items.\r\n"},
    {kErrorMrMidNotFound,
     "No message text exists for this message number.\r\n"},
    {kErrorOperationAborted,
     "The operation was stopped before it finished.\r\n"},
    {kErrorInvalidFlags, "The flags given are not valid.\r\n"},
    {kErrorRegistryCorrupt,
     "The structure of a registry file is damaged.\r\n"},
    {kErrorKeyDeleted,
     "The registry key cannot be used because it has been deleted.\r\n"},
    {kErrorCantOpenAnonymous,
     "An anonymous security token cannot be opened.\r\n"},
    {kErrorFileCorrupt, "The file or folder is damaged and cannot be read.\r\n"},
    {kErrorRequiresInteractiveWindowStation,
     "This operation needs a user who can see and answer it.\r\n"},
    {kErrorTimeout, "The wait ended because its time ran out.\r\n"},
    {kErrorResourceDataNotFound,
     "The file holds no resource data in the form asked for.\r\n"},
    {kErrorResourceTypeNotFound,
     "The file holds no resource of the type asked for.\r\n"},
    {kErrorResourceNameNotFound,
     "The file holds no resource of the name asked for.\r\n"},
    {kErrorEvtInvalidChannelPath, "The channel path is not valid.\r\n"},
    {kErrorEvtInvalidQuery, "The query is not valid.\r\n"},
    {kErrorEvtPublisherMetadataNotFound,
     "The metadata of the publisher cannot be found in its resources.\r\n"},
    {kErrorEvtEventTemplateNotFound,
     "The template of the event cannot be found in the resources.\r\n"},
    {kErrorEvtInvalidPublisherName, "The publisher name is not valid.\r\n"},
    {kErrorEvtInvalidEventData,
     "The event data written by the publisher do not match its manifest.\r\n"},
    {kErrorEvtChannelNotFound, "No channel of that name exists.\r\n"},
    {kErrorEvtMalformedXmlText,
     "The XML text is not well formed; see the extended error for details.\r\n"},
    {15009,
     "A direct channel cannot be subscribed to; query it instead.\r\n"},
    {kErrorEvtConfigurationError,
     "The configuration error has been written to the extended error.\r\n"},
    {15011,
     "The query result is out of date and cannot be used; query again.\r\n"},
    {15012, "The position in the query result is not valid.\r\n"},
    {15013, "The XML parser installed cannot validate documents.\r\n"},
    {15014, "A filter expression may not be scoped twice.\r\n"},
    {15015, "This filter operation needs a set of elements.\r\n"},
    {15016, "A filter argument is not valid.\r\n"},
    {15017, "A filter test is not valid.\r\n"},
    {15018, "A filter type is not valid.\r\n"},
    {15019, "The filter expression could not be parsed.\r\n"},
    {15020, "The filter uses an operation that is not supported.\r\n"},
    {15021, "The filter expression has a token where none was expected.\r\n"},
    {15022,
     "This operation is not allowed on a direct channel that is enabled; "
     "disable the channel first.\r\n"},
    {15023,
     "A channel property holds a value that is not valid, or one that "
     "clashes with another property.\r\n"},
    {15024,
     "A publisher property holds a value that is not valid, or one that "
     "clashes with another property.\r\n"},
    {15025, "The channel could not be started.\r\n"},
    {15026, "The XPath expression is too complex; simplify it.\r\n"},
    {kErrorEvtMessageNotFound,
     "No message exists for the message number asked for.\r\n"},
    {kErrorEvtMessageIdNotFound,
     "The message number asked for could not be found.\r\n"},
    {kErrorEvtUnresolvedValueInsert,
     "A value to insert into the message could not be resolved.\r\n"},
    {kErrorEvtUnresolvedParameterInsert,
     "A parameter to insert into the message could not be resolved.\r\n"},
    {kErrorEvtMaxInsertsReached,
     "The message has more inserts than are allowed.\r\n"},
    {kErrorEvtEventDefinitionNotFound,
     "The event definition could not be found for this event.\r\n"},
    {kErrorEvtMessageLocaleNotFound,
     "The resources for the message locale could not be found.\r\n"},
    {15034, "The resource is older than this system can use.\r\n"},
    {15035, "The resource is newer than this system can use.\r\n"},
    {15036, "A channel named in the query could not be opened.\r\n"},
    {15037, "The publisher is turned off and its resources cannot be used.\r\n"},
    {15038, "A filter argument is outside the range allowed.\r\n"},
    {kErrorMuiFileNotFound,
     "No resource file for the language could be found.\r\n"},
    {kErrorMuiInvalidFile,
     "The language resource file is damaged or not valid.\r\n"},
};

constexpr bool ByCode(const ErrorText& a, const ErrorText& b) {
  return a.code < b.code;
}
static_assert(std::is_sorted(std::begin(kTexts), std::end(kTexts), ByCode));

}  // namespace

std::string_view SystemErrorText(uint32_t code) {
  const auto* found = std::lower_bound(
      std::begin(kTexts), std::end(kTexts), code,
      [](const ErrorText& entry, uint32_t c) { return entry.code < c; });
  if (found == std::end(kTexts) || found->code != code) return {};
  return found->text;
}

}  // namespace qrv
