// Controls of the member form (template 101).
#pragma once

#define IDD_MEMBERFORM 101
#define IDC_NAME 1005
#define IDC_PROVINCE 1007
#define IDC_CITY 1008
#define IDC_SERIAL 1009
#define IDC_QUANTITY 1011
#define IDC_SUBMIT 1012
#define IDC_AREA_CODE 1014
#define IDC_TELEPHONE 1015
#define IDC_EXTENSION 1016
#define IDC_TEXT_AREA_1 1017
#define IDC_TEXT_AREA_2 1018
#define IDC_SEX 1019
#define IDC_PICTURE 1026
#define IDC_BUY_DATE 1028
#define IDC_PRODUCT_TYPE 1029
