#pragma once

// The numbers of the catalogue messages the module shows (texts in corlith/messages.txt).
// One list for every layer, so a number is written once; an unscoped enum passes as the int the
// host's message calls take.
namespace vantrel {

enum VantrelMessage : int {
    kMsgNothingToModify = 5037001,
    kMsgNothingToDelete = 5037002,
    kMsgConfirmDeleteOne = 5037003,
    kMsgConfirmDeleteMany = 5037004,
    kMsgDeleteCommitFailed = 5037005,
    kMsgDeleted = 5037006,
    kMsgListReadFailed = 5037007,
    kMsgSaveFailed = 5037013,
    kMsgModified = 5037015,
    kMsgAdded = 5037016,
    kMsgNoType = 5037017,
    kMsgCountZero = 5037018,
    kMsgAmountZero = 5037019,
    kMsgNoRate = 5037020,
    kMsgTaxZeroNotExempt = 5037021,
    kMsgTaxOutOfTolerance = 5037022,
    kMsgBuyerIdCharacter = 5037023,
    kMsgBuyerIdLength = 5037024,
    kMsgDateAfterToday = 5037026,
    kMsgConfirmAfterPeriod = 5037027,
    kMsgDateBeforePeriod = 5037028,
    kMsgBuyerIsSelf = 5037029,
    kMsgCountNotInteger = 5037030,
    kMsgNoInvoiceVoided = 5037031,
    kMsgInvoiceGone = 5037032,
    kMsgInvoicesGone = 5037033,
    kMsgDeleteStatementFailed = 5041035,
    kMsgDeleteMarkFailed = 5041036,
    kMsgFormNotFound = 5050028,
    kMsgAuditedReturn = 5050031,
};

}  // namespace vantrel
