/* Identifiers shared by the resource script and the code. */
#ifndef PINNIT_RESOURCE_H
#define PINNIT_RESOURCE_H

/* Icons */
#define IDI_APP        102

/* Menus */
#define IDR_TRAYMENU   4

/* Dialogs */
#define IDD_WINDOWLIST 105
#define IDD_ABOUT      106

/* Controls */
#define IDC_WINDOWLIST 1005
#define IDC_ABOUT_ICON 1009
#define IDC_EMAIL_LINK 1010
#define IDC_WEB_LINK   1011

/* Menu commands */
#define IDM_EXIT       1003
#define IDM_ABOUT      40002

/* Tray icon callback message and the icon's identifier */
#define WM_TRAYNOTIFY  (WM_USER + 1)
#define TRAY_ICON_UID  1025

#endif
