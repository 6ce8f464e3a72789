// The indexes of the button images other modules refer to.
//
// Windows and the object palette store these numbers (templates keep palette
// indexes, and the preview toolbar is laid out by them), so a picture keeps
// its index for good. Cells without a name here still hold a distinct
// picture, for registrations that bring an index of their own.
#pragma once

namespace ovx::images {

// TovxResources::PreviewImages(), 16 x 16.
enum PreviewImage : int {
  kPreviewOpen = 0,
  kPreviewSave = 1,
  kPreviewPrint = 2,  // also the printer icon of the print dialog
  kPreviewExport = 3,
  kPreviewFind = 4,
  kPreviewThumbnails = 5,
  kPreviewClose = 6,
  kPreviewPageSetup = 7,
  kPreviewFirst = 8,
  kPreviewPrior = 9,
  kPreviewNext = 10,
  kPreviewLast = 11,
  kPreviewOutline = 12,
  kPreviewCollapseAll = 13,
  kPreviewExpandAll = 14,
  kPreviewZoomIn = 15,
  kPreviewZoomOut = 16,
  kPreviewCopy = 17,
  kPreviewPaste = 18,
  kPreviewAddPage = 19,
  kPreviewDeletePage = 20,
  kPreviewEditPage = 21,
  kPreviewFullScreen = 22,
  kPreviewEmail = 23,
  kPreviewPdf = 24,
  kPreviewHighlight = 25,
  kPreviewImageCount = 26,
};

// TovxResources::ObjectImages(), 16 x 16: the object palette and the report
// tree.
enum ObjectImage : int {
  kObjectSelect = 0,
  kObjectHand = 1,
  kObjectMemo = 2,
  kObjectPicture = 3,
  kObjectSubreport = 4,
  kObjectLine = 5,
  kObjectDrawCategory = 6,
  kObjectDiagonalLine = 7,
  kObjectRectangle = 8,
  kObjectRoundRectangle = 9,
  kObjectEllipse = 10,
  kObjectTriangle = 11,
  kObjectDotMatrixCommand = 21,
  kObjectCheckBox = 24,
  kObjectDiamond = 31,
  kObjectSystemMemo = 32,
  kObjectReport = 34,
  kObjectReportPage = 35,
  kObjectDialogPage = 36,
  kObjectDataPage = 37,
  kObjectBand = 40,
  kObjectArrowEnd = 63,
  kObjectArrowStart = 64,
  kObjectArrowBoth = 65,
  kObjectOtherCategory = 66,
  kObjectImageCount = 67,
};

// TovxResources::DesignerImages() and DesignerImagesGreyed(), 16 x 16: the
// designer's buttons and trees.
enum DesignerImage : int {
  kDesignerFunction = 52,
  kDesignerDataRoot = 53,
  kDesignerCategory = 66,
  kDesignerDataSet = 72,
  kDesignerProperty = 73,
  kDesignerMember = 74,
  kDesignerClass = 78,
  kDesignerEvent = 79,
  kDesignerVariable = 80,
  kDesignerInherited = 99,  // the mark on objects inherited from an ancestor report
  kDesignerFieldString = 102,
  kDesignerFieldNumeric = 104,
  kDesignerFieldOther = 106,
  kDesignerFieldBoolean = 107,
  kDesignerImageCount = 108,
};

// TovxResources::WizardImages(), 32 x 32: the new-item dialog.
enum WizardImage : int {
  kWizardEmptyReport = 0,
  kWizardReport = 1,
  kWizardDotMatrix = 2,
  kWizardDialog = 3,
  kWizardData = 4,
  kWizardTemplate = 5,
  kWizardImageCount = 6,
};

}  // namespace ovx::images
