#include "ui/main_menu.h"

Menu mainMenu() {
  return {
      {"*&Session", 0, "", {{"*Log &out", kCmdLogout, "*End this console session; the gateway keeps running", {}},
        {"*&New Login Token", kCmdNewLoginToken, "*Replace the login token and end every console session", {}},
        {"*E&xit", kCmdExit, "*Quit the application", {}}}},
      {"*&Actions",
       0,
       "",
       {{"*&Retrieve E-mail", kCmdRetrieve, "*Retrieve e-mail now!", {}},
        {"*&Update Logs", kCmdUpdate, "*Update logs now!", {}},
        {"*&Send Acknowledgements", kCmdAcknowledge, "*Send Acknowledgements now!", {}},
        {"", 0, "", {}},
        {"*Do All", kCmdDoAll, "*Retrieve e-mail, update logs, send acknowledgements", {}}}},
      {"*&Administration",
       0,
       "",
       {{"*&Accounts", kCmdAccounts, "*Who may send requests", {}},
        {"*&E-Mail", kCmdEmail, "*POP3 and SMTP connections", {}},
        {"*&Preferences", kCmdPreferences, "*Timer, acknowledgement texts and what the log update follows", {}}}},
      {"*&Help",
       0,
       "",
       {{"*Contents", kCmdContents, "*Open the manual's table of contents", {}},
        {"*&Help Index", kCmdHelpIndex, "*Open the manual", {}},
        {"", 0, "", {}},
        {"*&About", kCmdAbout, "*Program version and database", {}}}},
  };
}

const std::vector<const char*>& consoleTexts() {
  static const std::vector<const char*> texts = {
      // Main window
      "*Tarnwick @Orvane", "*Welcome to Tarnwick @Orvane", "*From", "*Subject", "*Ref #", "*Received",
      "*Date/Time of Diagnostic Message", "*Description", "*Save", "*Delete", "*Copy here", "*Move here",
      "*Ready", "*Working...", "*Notices", "*Dismiss", "*Connection to the gateway lost",
      // Log details
      "*Log Details", "*Print", "*E-mail Requestor", "*OK", "*Cancel",
      "*Cannot launch your default e-mail program",
      // Settings sheet
      "*Settings", "*Accounts", "*E-mail", "*Preferences", "*POP3 Server:", "*Account name:", "*Password:",
      "*POP3 port (optional):", "*SMTP Server:", "*SMTP port (optional):",
      "*Send/Retrieve email and update logs every:", "*Title:", "*Subject line prefix:", "*First line:",
      "*Return e-mail address:", "*Clear diagnostics messages when program starts",
      "*Check Completed Bin for change ", "*Check Voided Bin for change",
      "*Include the work-order's closing comments", "*Name", "*Phone", "*E-mail", "*Add", "*Edit",
      "*Everybody", "*Disabled", "*Account Details", "*Permissions", "*Receive acknowledgements",
      "*Select Requestors from the Tarnwick Contacts Table",
      "*Note:  you must use Tarnwick CMMS to edit this Contacts Table.",
      "*Are you sure you want to permanently delete the selected account(s)?", "*Saved",
      // Questions, the connection banner, secrets, the log list's search
      "*Yes", "*No", "*Exit stops the gateway for every operator",
      "*No mail is retrieved and no notices are sent until the gateway is started again. Exit now?",
      "*The selected logs will be removed for good. Delete them?",
      "*The requestors of the selected logs will get no more notices about them. Go on?",
      "*The gateway has stopped; this page reconnects when it runs again",
      "*Connection to the gateway lost; reconnecting...", "*Search", "*Set", "*Not set",
      "*Type a new value to replace it", "*Clear", "*Logged out",
      // Secrets that a change of connection clears; a new login token
      "*Stored secrets will be cleared",
      "*These belong to the connection as it is now and are cleared by this change; you will have to enter them again:",
      "*Every console session ends, this one too, and the old login address stops working. Replace the login token?",
      // Test connection on the E-mail page
      "*Test the POP3 connection", "*Test the SMTP connection", "*Testing...",
      // About box
      "*About ", "*Close",
  };
  return texts;
}
